#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "helper/MigrationJournal.h"
#include "icheck/BodyReader.h"
#include "icheck/ICheckModel.h"
#include "ldap/LdapHelper.h"
#include "sections/interfaces/IObjectMapper.h"
#include "xml/Importer.h"

namespace KvMigration {

// The current time as a FILETIME: 100-nanosecond intervals since 1 January 1601 (UTC).
uint64_t SystemFileTime();

// Rebuilds the integrity-check model in the target's security domain from the ICheck section.
// Each platform element erases the target's model of that platform (ModelEraser, which saves it
// to a restore file first) and opens the platform for its objects; every object is created below
// the platform's container, with the default group, client entries, the default job and the
// default scenario adapted to the target; the element's end writes the model time stamp.
//
// A failure is reported and contained per element: the object is not created, and the code of
// the last failure is kept. After an access-denied failure (code 5) everything else of the
// section is skipped and EndImport raises code 5. When the erase fails before anything was
// deleted (the restore file cannot be written, the model cannot be read), the platform's objects
// are not imported at all, so that the target keeps its whole model rather than a mixture of two,
// and EndImport raises an error naming the platform, so that the run does not end as a success.
//
// The journal learns of every object erased and created (the time stamp included), of every
// object of the file left out and why, and of every failure with the object or platform it hit.
class ICheckImporter : public IImporter {
public:
    using Clock = std::function<uint64_t()>;

    // `restoreFolder`: where restore files go; empty for the trace folder.
    explicit ICheckImporter(std::shared_ptr<IObjectMapper> mapper, Clock clock = SystemFileTime,
                            std::string restoreFolder = {});

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring& text) override;
    void EndNode(const std::wstring& name) override;
    void EndImport() override;

    // The code of the last failure caught, 0 while there was none.
    uint32_t State() const { return state_; }

    static constexpr uint32_t AccessDenied = 5;

private:
    void StartPlatform(const ICheckPlatform& platform);
    void ImportObject(const Attributes& attributes);
    void EndPlatform();
    // The body the target gets for an object of the file's type.
    Body AdaptBody(int32_t type, const Body& body);
    Body AdaptGroupEntry(const Body& body);
    // The security domain's DN, which the storage connection puts into the session.
    std::wstring BaseDn() const;
    ObjectEvent FileObject(const Attributes& attributes, ObjectAction action) const;
    ObjectEvent TimeStampEvent(ObjectAction action) const;
    // Reports a failure of `work` and goes on; the journal records it against `subject`.
    void Contain(const std::wstring& step, const std::function<void()>& work,
                 const std::optional<ObjectEvent>& subject);

    std::shared_ptr<IObjectMapper> mapper_;
    Clock clock_;
    std::string restoreFolder_;
    std::vector<std::wstring> notImported_;
    MigrationContext context_;
    const ICheckPlatform* platform_ = &PlatformUndefined();
    // The platform whose erase failed before deleting anything, while its element is open: its
    // objects are left out.
    const ICheckPlatform* refused_ = nullptr;
    std::shared_ptr<LdapHelper::session> session_;
    Body clientsList_ = Body(4, 0);
    size_t count_ = 0;
    uint32_t state_ = 0;
};

}  // namespace KvMigration
