// Writing one PEM text to a file through the C runtime's text mode, which
// stores every line feed as CR LF.
#pragma once

// 0 when the whole text reached the file, -1 when the file cannot be opened,
// takes fewer bytes than the text holds, or cannot be closed: the runtime
// buffers small files, so a full disk often shows only when the buffer is
// written at the close. The terminating NUL is not written.
int writeTextFile(const char* path, const char* text);
