#pragma once

// The service's four API methods and their XML replies:
//
//   User.login     declaration, then <success> and <errors> side by side
//   User.getInfo   <user><premium>n</premium></user>
//   User.getToast  <toast><title/><src/><name/><message/><href/><poll/></toast>,
//                  or an empty <toast/> when there is no notification
//   Media.upload   <rsp><stat>ok</stat>...</rsp>, or stat "fail" with <errcode>
//                  -3 duplicate, -5 upgrade needed, -6 photo limit, -7 video limit,
//                  -1 wrong name or password, -2 malformed request
//
// Failures that are not a method's own answer use the upload's <rsp> form.

#include "devserver/config.h"
#include "devserver/mediastore.h"
#include "devserver/multipart.h"

#include <map>
#include <string>
#include <vector>

namespace quaylet::devserver {

struct ApiRequest {
    std::string method;                        // "User.login", ...
    std::map<std::string, std::string> fields; // plain fields, from the query and the body
    std::vector<FormPart> files;               // file parts of the body
    std::string origin;                        // "http://host:port" as the client addressed us
};

struct ApiReply {
    int status = 200;
    std::string contentType = "text/xml";
    std::string body;
};

class ApiMethods final {
public:
    ApiMethods(const DevConfig& config, MediaStore& store);

    ApiReply handle(const ApiRequest& request) const;

private:
    ApiReply login(const ApiRequest& r) const;
    ApiReply getInfo(const ApiRequest& r) const;
    ApiReply getToast(const ApiRequest& r) const;
    ApiReply upload(const ApiRequest& r) const;

    const DevConfig& m_config;
    MediaStore& m_store;
};

// The <rsp> failure reply with an error code and message.
std::string FailReply(int errcode, const std::string& message);

// "/x" made absolute with the origin; anything else unchanged.
std::string Absolute(const std::string& origin, const std::string& address);

} // namespace quaylet::devserver
