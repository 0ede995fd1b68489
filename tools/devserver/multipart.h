#pragma once

// A forgiving multipart/form-data reader. It takes delimiter lines both in the
// standard form ("--" + boundary) and in the bare form (the boundary alone)
// that the client's small requests use, so that every request the client
// sends can be read.

#include <string>
#include <string_view>
#include <vector>

namespace quaylet::devserver {

struct FormPart {
    std::string name;
    std::string filename;    // empty for plain fields
    std::string contentType; // of file parts
    bool isFile = false;
    std::string content;
};

// The boundary parameter of a Content-Type value, or empty.
std::string BoundaryOf(std::string_view contentType);

// The parts of the body, in order; an unreadable body gives no parts.
std::vector<FormPart> ParseMultipart(std::string_view body, std::string_view boundary);

} // namespace quaylet::devserver
