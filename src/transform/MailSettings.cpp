#include "transform/MailSettings.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "transform/MailSettingsReader.h"
#include "transform/MailSettingsTransformer.h"
#include "transform/MailSettingsWriter.h"
#include "xml/SaxReader.h"

namespace KvMigration {

std::wstring TransformMailSettingsText(const std::wstring& oldText) {
    auto reader = std::make_shared<CMailSettingsReader>();
    {
        SaxReader sax(XmlSource{oldText}, MigrationContext{});
        sax.RegisterImporter(MailSettingsRoot, reader);
        sax.Resume();
        // Converting half a document would silently lose the rules after the damage.
        if (sax.Outcome() == ReadOutcome::Damaged) {
            KV_RAISE_ERROR(L"TransformMailSettingsText", sax.DamagedDocumentError());
        }
    }
    if (!reader->Started()) {
        // Writing settings that were never read would drop the stored ones; keep them.
        KvBase::GetTrace().Trace(KvBase::TraceError,
                                 L"The mail settings have no UAMailFilter element and are kept "
                                 L"unchanged");
        return oldText;
    }
    return CMailSettingsWriter().Write(CMailSettingsTransformer().Transform(reader->GetSettings()));
}

}  // namespace KvMigration
