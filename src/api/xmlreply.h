#pragma once

// Reading values out of the service's XML replies. Every call parses the reply
// afresh; nothing is cached. Replies are read as UTF-8 whatever their
// declaration says, and nothing named by a DTD is ever fetched or expanded.

#include <string>

namespace quaylet {

// Finds the first node that the absolute XPath selects and copies its text
// (the concatenated text of the node and all its descendants) into output.
// Line breaks in the reply become blanks before parsing. Returns 1 when found,
// -4 otherwise (output untouched): not well-formed, not exactly one root
// element, or no such node.
int ProcessXMLResponse(std::string reply, const std::string& xpath, std::string& output);

// The reply with a root element named rootName put around everything after
// the XML declaration; empty when the reply has no declaration or nothing
// follows it.
std::string WrapReplyRoot(const std::string& reply, const std::string& rootName);

} // namespace quaylet
