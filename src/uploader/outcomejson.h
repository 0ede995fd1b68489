#pragma once

// The --json form of a file's outcome: one object on one line, for scripts.
//   {"path":"a.jpg","outcome":"uploaded","result":1,"bytes_sent":123,"seconds":0.42,"reason":""}
// JSON text must be Unicode, but a file name may hold any bytes: each byte
// that is not part of valid UTF-8 is written as the six characters \\xNN
// (a backslash, then x and two hex digits), as the terminal output shows it.

#include "uploader/fileoutcome.h"

#include <string>
#include <string_view>

namespace quaylet {

// text as a JSON string literal, quotes included.
std::string JsonStringLiteral(std::string_view text);

// The outcome's object, without a line end.
std::string OutcomeJsonLine(const FileOutcome& outcome);

} // namespace quaylet
