#pragma once

#include <string_view>

namespace Platform {

// Console text attributes the program uses, in the numbering of the Windows console.
inline constexpr int ColorLightRed = 12;
inline constexpr int ColorYellow = 6;

// The process console as two streams, as Linux tools use them: the fatal output, the warnings and
// the key prompt go to standard error, every other line to standard output, so that a script can
// keep the lines of a run apart from its complaints. Colours and the wait for a key only happen
// where a person sits in front of it: colours when standard error is a terminal and NO_COLOR is
// unset, the wait when standard input and output are the terminal and the process is in its
// foreground process group. Scripts, CI, background jobs and redirected runs never hang on it.
class IConsole {
public:
    virtual ~IConsole() = default;
    // Write text already in the console's code page: to standard output, to standard error.
    virtual void Write(std::string_view bytes) = 0;
    virtual void WriteError(std::string_view bytes) = 0;
    // Whether standard output is a terminal, where a line can be rewritten in place.
    virtual bool OutputIsTerminal() = 0;
    // Shows `bytes` (one line, no line end) as the status line at the end of standard output,
    // in place of the one before. Every later write to either stream, the key prompt included,
    // first blanks it, so that no line of the run is ever written over or into it. Only for a
    // terminal (OutputIsTerminal).
    virtual void WriteStatus(std::string_view bytes) = 0;
    // Colours what follows on standard error, the only stream that carries coloured lines.
    // Returns the attribute that was in effect, so that callers can restore it.
    virtual int SetTextAttribute(int attribute) = 0;
    // "Press any key to continue . . ." on standard error and one key.
    virtual void Pause() = 0;
    // Waits for Enter (the debugger prompt).
    virtual void WaitForEnter() = 0;
};

IConsole& SystemConsole();

inline constexpr int ColorDefault = 7;

}  // namespace Platform
