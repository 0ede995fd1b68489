#pragma once

// Turning what a drop carries into local paths. A drop arrives as a
// "text/uri-list"; each local path is taken from its file URI byte for byte,
// so names that are not valid UTF-8 survive exactly.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet {

// The local path of a "file:" URI with an empty host or "localhost",
// percent-decoded to its exact bytes. Nothing for other schemes, remote hosts,
// malformed escapes or an embedded NUL.
std::optional<std::string> LocalPathFromFileUri(std::string_view uri);

// The local paths of a text/uri-list in their order; comment lines and URIs
// that are not local files are left out.
std::vector<std::string> PathsFromUriList(std::string_view uriList);

} // namespace quaylet
