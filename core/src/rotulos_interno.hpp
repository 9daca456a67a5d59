// Private pieces of the text builders, exposed to the tests: the MCP server label
// and the two equivalent ways of stripping the Markdown of one line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kivo::Rotulos::interno {

// The short label of the MCP server of a tool named "mcp__<server>__<tool>", or
// nullopt when the name is not an MCP tool name or its server name is empty.
std::optional<std::string> servidorMcp(std::string_view ferramenta);

// One line of a reply, already trimmed, with its Markdown links replaced by their
// text, one leading marker removed, and every "*" and "`" removed (not trimmed
// again). limparLinhaIcu runs the three ICU regular expressions and works on any
// text; limparLinhaRapida gives the same result for valid UTF-8 without them.
std::string limparLinhaIcu(std::string_view linha);
std::string limparLinhaRapida(std::string_view linha);

}  // namespace kivo::Rotulos::interno
