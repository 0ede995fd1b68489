#include "api/xmlreply.h"

#include "core/logfile.h"

#include <pugixml.hpp>

#include <exception>
#include <stdexcept>

namespace quaylet {

namespace {

// A document the service could have sent: well-formed with exactly one root
// element and no text outside it.
bool LoadReply(pugi::xml_document& doc, const std::string& text)
{
    // parse_default leaves out DOCTYPE nodes and expands only the predefined
    // entities and character references; no external entity is ever loaded.
    // As a fragment, text outside the root stays in the tree, where the check
    // below sees it.
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size(),
                                                          pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (!parsed)
        return false;
    int elements = 0;
    for (const pugi::xml_node child : doc.children()) {
        if (child.type() == pugi::node_element)
            ++elements;
        else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            return false;
    }
    return elements == 1;
}

} // namespace

int ProcessXMLResponse(std::string reply, const std::string& xpath, std::string& output)
{
    for (char& c : reply) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    WriteLog(LogTrace, "ProcessXMLResponse: Begin");
    int result = -4;
    try {
        pugi::xml_document doc;
        if (!LoadReply(doc, reply)) {
            WriteLog(LogTrace, "ProcessXMLResponse: Document FAILED to load");
        } else {
            const pugi::xpath_node found = doc.select_node(xpath.c_str());
            if (!found)
                throw std::runtime_error("no node");
            // The string-value: all descendant text, not only the first text child.
            const pugi::xpath_query text("string(.)");
            output = found.node() ? text.evaluate_string(found.node()) : std::string(found.attribute().value());
            result = 1;
        }
    } catch (...) {
        WriteLog(LogMilestone, "ProcessXMLResponse: Exception caught!!!");
        result = -4;
    }
    WriteLog(LogTrace, "ProcessXMLResponse: End");
    return result;
}

std::string WrapReplyRoot(const std::string& reply, const std::string& rootName)
{
    const std::size_t decl = reply.find("?xml version=");
    if (decl == std::string::npos)
        return {};
    const std::size_t end = reply.find('>', decl);
    if (end == std::string::npos || end + 1 == reply.size())
        return {};
    return reply.substr(0, end + 1) + "<" + rootName + ">" + reply.substr(end + 1) + "</" + rootName + ">";
}

} // namespace quaylet
