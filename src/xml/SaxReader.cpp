#include "xml/SaxReader.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "platform/CodePage.h"

#include <exception>
#include <utility>

namespace KvMigration {
namespace {

bool IsBlankOnly(std::string_view text) {
    return text.find_first_not_of(" \n\t") == std::string_view::npos;
}

}  // namespace

SaxReader::SaxReader(const std::wstring& fileName, const MigrationContext& context)
    : context_(context),
      sourceName_(fileName),
      parser_(XmlPushParser::OpenFile(fileName, L"SaxReader::SaxReader")) {}

SaxReader::SaxReader(XmlSource source, const MigrationContext& context)
    : context_(context), parser_(XmlPushParser::FromText(Platform::WideToUtf8(source.text))) {}

SaxReader::~SaxReader() = default;

void SaxReader::RegisterImporter(const std::wstring& path, std::shared_ptr<IImporter> importer) {
    if (!importer) {
        return;
    }
    importer->SetLineSource([this] { return parser_ ? parser_->CurrentLine() : 0; });
    importers_[path] = std::move(importer);
}

void SaxReader::Resume() {
    if (outcome_ != ReadOutcome::NotRead) {
        return;
    }
    try {
        std::optional<XmlParseError> error = parser_->Run(*this, L"SaxReader::Resume");
        if (!error) {
            outcome_ = ReadOutcome::Complete;
            return;
        }
        outcome_ = ReadOutcome::Damaged;
        damageLine_ = error->line;
        damageText_ = error->message;
        damage_ = error->damage;
        KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", ParserDamageText().c_str());
    } catch (...) {
        // A document kept in a directory attribute belongs to one object: its caller names that
        // object in the failure, and the pass that called it ends the run.
        if (sourceName_.empty()) {
            outcome_ = ReadOutcome::Damaged;
            throw;
        }
        ReportFatal();
    }
}

void SaxReader::ReportFatal() {
    try {
        throw;
    } catch (const std::exception& e) {
        std::string what = e.what();
        if (what.size() > 1800) {  // keeps the message within the formatting limit
            what.resize(1800);
        }
        PrintFatalError(std::string_view(FormatStringA("SAX exception: %s", what.c_str())));
    } catch (const KvBase::CKvError& e) {
        PrintFatalError(e);
    } catch (...) {  // Whatever else escaped an event ends the process like the other two.
        PrintFatalError(std::wstring_view(L"An unhandled SAX exception occurred."));
    }
}

std::wstring SaxReader::ParserDamageText() const {
    std::wstring text = sourceName_.empty() ? std::wstring(L"The XML document")
                                            : L"The file \"" + sourceName_ + L"\"";
    text += L" is damaged at line " + std::to_wstring(damageLine_);
    if (!damageText_.empty()) {
        text += L": " + damageText_;
    }
    return text + L".";
}

std::wstring SaxReader::DamagedDocumentError() const {
    // The parser words both cases in its own terms ("Extra content at the end of the document"
    // for a file cut off after a start tag), which send an administrator looking for content
    // that is not there.
    if (!sourceName_.empty()) {
        switch (damage_) {
            case XmlDamage::Empty:
                return L"The file \"" + sourceName_ + L"\" is empty.";
            case XmlDamage::CutOff:
                return L"The file \"" + sourceName_ + L"\" ends at line " +
                       std::to_wstring(damageLine_) + L" before the document is complete.";
            case XmlDamage::Malformed:
                break;
        }
    }
    return ParserDamageText();
}

void SaxReader::StartElement(const std::wstring& name, const Attributes& attributes) {
    if (activeImporter_) {
        textRun_.clear();
        text_.clear();
        try {
            activeImporter_->StartNode(name, attributes);
        } catch (...) {  // An importer's element failure costs that element only.
        }
    }
    if (!currentPath_.empty()) {
        currentPath_ += L'/';
    }
    currentPath_ += name;
    if (!activeImporter_) {
        auto found = importers_.find(currentPath_);
        if (found != importers_.end()) {
            activeImporter_ = found->second;
            activePath_ = currentPath_;
            begun_.insert(currentPath_);
            textRun_.clear();
            text_.clear();
            activeImporter_->BeginImport(context_, attributes);
        }
    }
}

void SaxReader::Characters(std::string_view utf8) {
    if (activeImporter_) {
        textRun_.append(utf8);
    }
}

// The parser may cut one text into several pieces anywhere; blanks are judged on the whole text
// between two tags so that a blank piece inside a value is not lost.
void SaxReader::FlushTextRun() {
    if (!IsBlankOnly(textRun_)) {
        text_ = Platform::Utf8ToWide(textRun_);
    }
    textRun_.clear();
}

void SaxReader::EndElement(const std::wstring& name) {
    if (activeImporter_) {
        FlushTextRun();
        if (!text_.empty()) {
            std::wstring text = std::move(text_);
            text_.clear();
            try {
                activeImporter_->Value(text);
            } catch (...) {  // An importer's value failure costs that value only.
            }
        }
        try {
            activeImporter_->EndNode(name);
        } catch (...) {  // An importer's element failure costs that element only.
        }
        // Only the element that activated the importer ends its section; a registered path
        // nested inside it was never activated and must not cut the section short.
        if (currentPath_ == activePath_) {
            std::shared_ptr<IImporter> importer = std::move(activeImporter_);
            activeImporter_.reset();
            activePath_.clear();
            importer->EndImport();
        }
    }
    size_t slash = currentPath_.rfind(L'/');
    currentPath_.erase(slash == std::wstring::npos ? 0 : slash);
}

}  // namespace KvMigration
