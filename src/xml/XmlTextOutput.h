#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace KvMigration {

// The XML text writer, streaming: a file is written through a small buffer, never held whole.
// Indentation is two blanks per depth. Every operation returns false on failure; ErrorCode() then
// tells the program's code for it.
class XmlTextOutput {
public:
    // Creates or truncates the file; on failure returns null and sets `errorCode`.
    static std::unique_ptr<XmlTextOutput> ToFile(const std::wstring& fileName, uint32_t& errorCode);
    // Collects the text in memory, to be taken with TakeText.
    static std::unique_ptr<XmlTextOutput> ToMemory();

    ~XmlTextOutput();
    XmlTextOutput(const XmlTextOutput&) = delete;
    XmlTextOutput& operator=(const XmlTextOutput&) = delete;

    // The XML declaration naming UTF-8.
    bool StartDocument();
    bool StartElement(const std::wstring& name);
    bool Attribute(const std::wstring& name, const std::wstring& value);
    bool Text(const std::wstring& value);
    bool EndElement();
    // Closes whatever is open and flushes; a file is closed for good (later calls fail).
    bool EndDocument();
    // Memory mode: the UTF-8 text written so far, without the line break after the last element.
    std::string TakeText();

    uint32_t ErrorCode() const;

    struct State;

private:
    XmlTextOutput();
    std::unique_ptr<State> state_;
};

}  // namespace KvMigration
