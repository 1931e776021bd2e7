#include "server/PolicyValue.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

const std::wstring kUniqueName = L"uniqueName";
const std::wstring kValue = L"value";

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

void WriteAttributes(ISaxWriter& writer, const Attributes& attributes) {
    auto name = attributes.find(kUniqueName);
    for (const auto& [key, value] : attributes) {
        if (key == kValue && name != attributes.end()) {
            writer.WriteAttribute(key, PolicyValueRule(name->second, value));
        } else {
            writer.WriteAttribute(key, value);
        }
    }
}

}  // namespace

std::wstring PolicyValueRule(const std::wstring& uniqueName, const std::wstring& value) {
    if (uniqueName == L"AuthenticationMode") {
        return value == L"2" ? value : L"0";
    }
    if (uniqueName == L"Prn") {
        std::wstring result = value;
        ReplaceAll(result, L"MandatLevel=\"0xffffffff\"", L"MandatLevel=\"4294967295\"");
        return result;
    }
    return value;
}

PoliciesGroupWriter::PoliciesGroupWriter(std::set<Attributes> entries)
    : entries_(std::move(entries)), initialCount_(entries_.size()) {}

PoliciesGroupWriter PoliciesGroupWriter::KeyAgeGroup() {
    return PoliciesGroupWriter({
        {{L"type", L"String"}, {kUniqueName, L"MaxKeyAge"}, {kValue, L"31104000"}},
        {{L"type", L"String"}, {kUniqueName, L"MinKeyAge"}, {kValue, L"2592000"}},
        {{L"type", L"String"}, {kUniqueName, L"KeyExpiryWarning"}, {kValue, L"2592000"}},
    });
}

void PoliciesGroupWriter::Remove(const std::wstring& uniqueName) {
    std::erase_if(entries_, [&](const Attributes& entry) {
        auto name = entry.find(kUniqueName);
        return name != entry.end() && name->second == uniqueName;
    });
}

void PoliciesGroupWriter::WriteRemaining(ISaxWriter& writer) const {
    if (entries_.empty() || entries_.size() == initialCount_) {
        return;
    }
    for (const Attributes& entry : entries_) {
        writer.StartNode(L"Policy", L"");
        WriteAttributes(writer, entry);
        writer.EndNode();
    }
}

PoliciesImporter::PoliciesImporter(std::shared_ptr<ISaxWriter> writer)
    : writer_(std::move(writer)), keyAge_(PoliciesGroupWriter::KeyAgeGroup()) {}

template <typename Step>
void PoliciesImporter::Write(Step&& step) {
    if (failure_) {
        return;
    }
    try {
        step();
    } catch (...) {  // Handed to the caller of the reading by WriteFailure.
        failure_ = std::current_exception();
    }
}

void PoliciesImporter::BeginImport(const MigrationContext&, const Attributes& attributes) {
    Write([&] {
        writer_->StartNode(L"Policies", L"");
        for (const auto& [key, value] : attributes) {
            writer_->WriteAttribute(key, value);
        }
    });
}

void PoliciesImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    Write([&] {
        ++depth_;
        writer_->StartNode(name, L"");
        if (auto unique = attributes.find(kUniqueName); unique != attributes.end()) {
            keyAge_.Remove(unique->second);
        }
        WriteAttributes(*writer_, attributes);
    });
}

void PoliciesImporter::EndNode(const std::wstring&) {
    Write([&] {
        if (depth_ > 0) {
            --depth_;
            writer_->EndNode();
            return;
        }
        keyAge_.WriteRemaining(*writer_);
        writer_->EndNode();
    });
}

std::wstring TransformPolicyValue(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    std::wstring result;
    {
        SaxWriter writer(&result, MigrationContext{});
        auto importer =
            std::make_shared<PoliciesImporter>(std::make_shared<SaxSectionWriter>(writer));
        SaxReader sax(XmlSource{text}, MigrationContext{});
        sax.RegisterImporter(L"Policies", importer);
        sax.Resume();
        if (sax.Outcome() == ReadOutcome::Damaged) {
            KV_RAISE_ERROR(L"TransformPolicyValue", sax.DamagedDocumentError());
        }
        if (importer->WriteFailure()) {
            std::rethrow_exception(importer->WriteFailure());
        }
    }
    if (result.empty()) {
        KvBase::GetTrace().Trace(KvBase::TraceError,
                                 L"The policy document has no Policies element and is dropped");
    }
    return result;
}

}  // namespace KvMigration
