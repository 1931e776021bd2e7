#include "server/UaFilterExport.h"

#include <sys/stat.h>

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/Format.h"
#include "platform/CodePage.h"
#include "xml/SaxReader.h"

namespace KvMigration {
namespace {

// The reader hands over decoded texts; written back unescaped, a "<" or "&" in a value would
// break the XML the management server reads from this text. The next reader also turns a raw
// line feed or tab in an attribute value into a blank (attribute-value normalisation) and a raw
// carriage return anywhere into a line feed (end-of-line handling); references survive both.
std::wstring Escape(const std::wstring& text, bool attribute) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                escaped += L"&amp;";
                break;
            case L'<':
                escaped += L"&lt;";
                break;
            case L'>':
                escaped += L"&gt;";
                break;
            case L'"':
                escaped += attribute ? L"&quot;" : L"\"";
                break;
            case L'\n':
                escaped += attribute ? L"&#10;" : L"\n";
                break;
            case L'\t':
                escaped += attribute ? L"&#9;" : L"\t";
                break;
            case L'\r':
                escaped += L"&#13;";
                break;
            default:
                escaped.push_back(c);
        }
    }
    return escaped;
}

void AppendAttributes(std::wstring& output, const Attributes& attributes) {
    for (const auto& [name, value] : attributes) {
        output += L' ';
        output += name;
        output += L"=\"";
        output += Escape(value, true);
        output += L'"';
    }
}

}  // namespace

UaFilterExport::UaFilterExport(std::shared_ptr<ISaxWriter> writer) : writer_(std::move(writer)) {}

void UaFilterExport::BeginImport(const MigrationContext&, const Attributes& attributes) {
    output_ = L"<UAFilter";
    AppendAttributes(output_, attributes);
    output_ += L">\n";
    stack_.assign(1, L"UAFilter");
    pending_.reset();
}

void UaFilterExport::StartNode(const std::wstring& name, const Attributes& attributes) {
    if (pending_) {
        WritePending(Children::With);
    }
    stack_.push_back(name);
    pending_ = PendingElement{name, L"", attributes};
}

void UaFilterExport::Value(const std::wstring& text) {
    // Text after the last child of an element that has children belongs to no pending element
    // and is not copied.
    if (pending_) {
        pending_->text = text;
    }
}

void UaFilterExport::EndNode(const std::wstring& name) {
    if (!pending_) {
        Indent();
        output_ += L"</";
        output_ += name;
        output_ += L">\n";
    } else {
        WritePending(Children::Without);
    }
    if (!stack_.empty()) {
        stack_.pop_back();
    }
}

void UaFilterExport::EndImport() {
    writer_->StartNode(L"orvexKVOMSUAFilter", output_);
    writer_->EndNode();
    written_ = true;
}

void UaFilterExport::Indent() {
    output_.append(stack_.size(), L'\t');
}

void UaFilterExport::WritePending(Children children) {
    Indent();
    output_ += L'<';
    output_ += pending_->name;
    AppendAttributes(output_, pending_->attributes);
    if (!pending_->text.empty()) {
        output_ += L'>';
        output_ += Escape(pending_->text, false);
        output_ += L"</";
        output_ += pending_->name;
        output_ += L">\n";
    } else if (children == Children::With) {
        output_ += L">\n";
    } else {
        output_ += L"/>\n";
    }
    pending_.reset();
}

void SaveUaFilter(std::shared_ptr<ISaxWriter> writer, const std::wstring& configPath) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsExporter::SaveUaFilter] ");
    struct stat status {};
    if (stat(Platform::WideToUtf8(configPath).c_str(), &status) != 0) {
        KV_RAISE_ERROR(L"OmsExporter::SaveUaFilter",
                       FormatString(L"File %ls is not found", configPath.c_str()));
    }
    auto filter = std::make_shared<UaFilterExport>(std::move(writer));
    SaxReader sax(configPath, MigrationContext{});
    sax.RegisterImporter(UaFilterPath, filter);
    sax.Resume();
    if (sax.Outcome() == ReadOutcome::Damaged) {
        if (!filter->Written()) {
            KV_RAISE_ERROR(L"OmsExporter::SaveUaFilter", sax.DamagedDocumentError());
        }
        KvBase::GetTrace().Trace(KvBase::TraceError, L"%ls", sax.DamagedDocumentError().c_str());
    }
}

}  // namespace KvMigration
