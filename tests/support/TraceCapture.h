#pragma once

#include <string>

namespace KvTest {

// The program's trace, pointed by the test main at a folder of its own before the first trace
// call. Offsets let a test look only at the lines written since it started.
size_t TraceLogSize();
// The log text (code page 1251, as written) from `offset` on, decoded to wide text.
std::wstring TraceLogSince(size_t offset);

}  // namespace KvTest
