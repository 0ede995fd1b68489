#include "devserver/apimethods.h"

#include "devserver/xmltext.h"

namespace quaylet::devserver {

namespace {

std::string Field(const ApiRequest& r, const char* name)
{
    const auto it = r.fields.find(name);
    return it == r.fields.end() ? std::string() : it->second;
}

std::string OkReply(const std::string& extra)
{
    return std::string(kXmlDeclaration) + "<rsp>\n  <stat>ok</stat>\n" + extra + "</rsp>\n";
}

} // namespace

std::string FailReply(int errcode, const std::string& message)
{
    return std::string(kXmlDeclaration) + "<rsp>\n  <stat>fail</stat>\n  <errcode>" + std::to_string(errcode) +
           "</errcode>\n  <errmsg>" + Escape(message) + "</errmsg>\n</rsp>\n";
}

std::string Absolute(const std::string& origin, const std::string& address)
{
    return !address.empty() && address.front() == '/' ? origin + address : address;
}

ApiMethods::ApiMethods(const DevConfig& config, MediaStore& store)
    : m_config(config)
    , m_store(store)
{
}

ApiReply ApiMethods::handle(const ApiRequest& r) const
{
    if (Field(r, "appid") != "glimmerly")
        return {400, "text/xml", FailReply(-2, "Unknown application")};
    if (r.method == "User.login")
        return login(r);
    if (r.method == "User.getInfo")
        return getInfo(r);
    if (r.method == "User.getToast")
        return getToast(r);
    if (r.method == "Media.upload")
        return upload(r);
    return {404, "text/xml", FailReply(-2, "Unknown method")};
}

ApiReply ApiMethods::login(const ApiRequest& r) const
{
    const Account* account = m_config.findAccount(Field(r, "username"));
    const bool ok = account != nullptr && Field(r, "passwordhash") == Sha1Hex(account->password);
    ApiReply reply;
    reply.body = std::string(kXmlDeclaration) + "<success>" + (ok ? "1" : "0") + "</success>\n";
    if (!ok)
        reply.body += "<errors>" + Escape(m_config.loginError) + "</errors>\n";
    return reply;
}

ApiReply ApiMethods::getInfo(const ApiRequest& r) const
{
    const Account* account = m_config.findAccount(Field(r, "username"));
    if (account == nullptr)
        return {200, "text/xml", FailReply(-1, "Unknown user")};
    return {200, "text/xml",
            std::string(kXmlDeclaration) + "<user>\n  <username>" + Escape(account->name) + "</username>\n  <premium>" +
                std::to_string(account->premium) + "</premium>\n</user>\n"};
}

ApiReply ApiMethods::getToast(const ApiRequest& r) const
{
    if (m_config.findAccount(Field(r, "username")) == nullptr)
        return {200, "text/xml", FailReply(-1, "Unknown user")};
    const ToastConfig& t = m_config.toast;
    if (!t.present)
        return {200, "text/xml", std::string(kXmlDeclaration) + "<toast/>\n"};
    std::string src = t.src;
    if (src.empty()) {
        const auto slash = t.picture.rfind('/');
        src = "/toast/" + (t.picture.empty() ? std::string("default.png") : t.picture.substr(slash + 1));
    }
    std::string body = std::string(kXmlDeclaration) + "<toast>\n";
    body += "  <title>" + Escape(t.title) + "</title>\n";
    body += "  <src>" + Escape(Absolute(r.origin, src)) + "</src>\n";
    body += "  <name>" + Escape(t.name) + "</name>\n";
    body += "  <message>" + Escape(t.message) + "</message>\n";
    body += "  <href>" + Escape(Absolute(r.origin, t.href)) + "</href>\n";
    body += "  <poll>" + std::to_string(t.poll) + "</poll>\n";
    body += "</toast>\n";
    return {200, "text/xml", body};
}

ApiReply ApiMethods::upload(const ApiRequest& r) const
{
    const std::string user = Field(r, "username");
    const Account* account = m_config.findAccount(user);
    if (account == nullptr || Field(r, "password") != account->password)
        return {200, "text/xml", FailReply(-1, "Invalid username or password")};
    const FormPart* media = nullptr;
    for (const FormPart& p : r.files) {
        if (p.name == "media")
            media = &p;
    }
    MediaKind kind;
    if (media == nullptr || !MediaKindOf(Field(r, "type"), kind))
        return {200, "text/xml", FailReply(-2, "Missing media or type")};
    if (account->upgradeRequired)
        return {200, "text/xml", FailReply(-5, "Premium upgrade required")};

    // Everything the client sent is kept, except the password.
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& [name, value] : r.fields) {
        if (name != "password")
            fields.emplace_back(name, value);
    }
    fields.emplace_back("content_type", media->contentType);
    const long limit = kind == MediaKind::Photo ? account->photoLimit : account->videoLimit;
    std::string folder;
    switch (m_store.store(user, kind, limit, media->filename, media->content, fields, &folder)) {
    case MediaStore::Outcome::Stored: {
        const auto slash = folder.rfind('/');
        return {200, "text/xml", OkReply("  <mediaid>" + Escape(folder.substr(slash + 1)) + "</mediaid>\n")};
    }
    case MediaStore::Outcome::Duplicate:
        return {200, "text/xml", FailReply(-3, "Media already exists")};
    case MediaStore::Outcome::PhotoLimit:
        return {200, "text/xml", FailReply(-6, "Photo limit exceeded")};
    case MediaStore::Outcome::VideoLimit:
        return {200, "text/xml", FailReply(-7, "Video limit exceeded")};
    case MediaStore::Outcome::Failed:
        break;
    }
    return {500, "text/xml", FailReply(-9, "The media could not be stored")};
}

} // namespace quaylet::devserver
