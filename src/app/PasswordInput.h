#pragma once

#include <string>

namespace KvMigration {

class CommandLine;
struct InputParameters;

// "-W" and "-y <file>": the password of the "-cr" login asked for on the terminal with echo off,
// or read from the first line of a file that only its owner may use. Either replaces the part of
// "-cr" after its first ":" (a "-cr" value without ":" is then the login alone), so that the
// password never stands on the command line. Raises when the keys are used wrongly or the
// password cannot be had; neither the password nor any part of it reaches a message or the trace.
void ReadPasswordKeys(const CommandLine& commandLine, InputParameters& parameters);

// The password the terminal gives for `login` ("-W").
std::wstring AskPassword(const std::wstring& login);
// The password on the first line of the file ("-y").
std::wstring ReadPasswordFile(const std::wstring& path);

}  // namespace KvMigration
