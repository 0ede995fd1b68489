#pragma once

// Composition of the small service requests (sign-in, account information,
// notification): each field travels twice, as a body part and as a query pair
// of the path. The body's delimiter lines are the boundary parameter itself
// (no extra leading "--") and the body ends with CR LF and the boundary,
// without a trailing "--"; the service reads it that way.
//
// Query values are percent-encoded (every byte outside A-Z a-z 0-9 - . _ ~
// becomes %XX), so that a value with a blank, "&" or a line break cannot break
// the request line, add pairs or inject headers. The body carries raw bytes.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace quaylet {

inline constexpr const char* kVersionWord = "V1.0";
inline constexpr const char* kMethodLogin = "User.login?method=User.login";
inline constexpr const char* kMethodGetInfo = "User.getInfo?method=User.getInfo";
inline constexpr const char* kMethodGetToast = "User.getToast?method=User.getToast";
inline constexpr const char* kMethodUpload = "Media.upload?method=Media.upload";
inline constexpr const char* kBoundaryName = "GlimmerlyWinApp";
inline constexpr const char* kApplicationId = "glimmerly";
inline constexpr const char* kOutputFormat = "xml";

// "----------------GlimmerlyWinApp": 16 hyphens and the boundary name.
extern const std::string RequestBoundary;

// One body part for the field; appends "&name=value" to path.
std::string MakeHTTPTag(const std::string& boundaryName, const std::string& name, const std::string& value,
                        std::string& path);
// CR LF and the boundary: the end of the body.
std::string MakePostFileData(const std::string& boundary);
// Accept, Accept-Language, Connection and Content-Type lines, each ending in CR LF.
std::string MakeRequestHeaders(const std::string& boundary);

using RequestFields = std::vector<std::pair<std::string, std::string>>;

struct ComposedRequest {
    std::string path;    // "/V1.0/<method text>&name=value..."
    std::string parts;   // the concatenated body parts
    std::string closing; // MakePostFileData(RequestBoundary)
    std::string headers; // MakeRequestHeaders(RequestBoundary)
    std::size_t contentLength = 0; // parts + closing
};

ComposedRequest ComposeRequest(const char* methodText, const RequestFields& fields);

// The address the media upload is sent to: API host, version word and method text.
std::string UploadAddress();

// The path with the value of "passwordhash" replaced by "***", for the log.
std::string MaskPasswordHash(const std::string& path);

} // namespace quaylet
