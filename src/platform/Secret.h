#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// What became of reading a password.
enum class SecretStatus {
    Read,          // `text` holds it
    NoTerminal,    // the process has no controlling terminal to ask on
    Ended,         // the input ended before a line was entered (Ctrl-D)
    Failed,        // a system call failed; `error` holds errno
    NotAFile,      // the path names something other than a regular file
    NotOwner,      // the file belongs to another user
    OpenToOthers,  // group or others have some access to the file; `mode` holds its permissions
    TooLong,       // the line is longer than SecretMaxBytes
};

struct Secret {
    SecretStatus status = SecretStatus::Failed;
    std::string text;  // the line without its line end, as typed or stored (bytes)
    int error = 0;
    unsigned mode = 0;
};

// The longest password taken, in bytes: Active Directory refuses passwords of more than 256
// characters, which UTF-8 writes in at most 1024 bytes.
inline constexpr size_t SecretMaxBytes = 1024;

// Shows `prompt` on the controlling terminal and reads one line there with echo off, whatever
// standard input and output are (a redirected run still asks the person at the terminal). The
// terminal's settings are restored afterwards, also when a signal (Ctrl-C) ends the run during
// the prompt.
Secret AskSecretOnTerminal(std::string_view prompt);

// The first line of a file without its line end ("\n" or "\r\n"). Refused as ssh refuses a
// private key: the file must be a regular file of this user (or root) that nobody else may read,
// write or execute. Reads at most SecretMaxBytes and a line end, whatever the file's size.
Secret ReadSecretFile(const std::string& path);

// The first line of `bytes` as ReadSecretFile takes it from a file's beginning; TooLong when it
// runs past SecretMaxBytes. `complete` says that `bytes` holds the whole file.
Secret FirstSecretLine(std::string_view bytes, bool complete);

}  // namespace Platform
