#pragma once

#include <QString>

namespace velquin {

// What a URL of the application's own scheme asks for.
enum class OrvelURLRequest { none, reader, direct };

// Reads a URL as it was written: the scheme must be exactly "orvel-formac", there must be no query
// (an empty "?" counts) and no fragment, the path must be empty or "/", and the host exactly
// "reader" (the screen-capture guide) or "direct" (the select-anywhere settings). Scheme and host
// are compared as written, so "READER" asks for nothing. Anything else is `none`.
OrvelURLRequest orvelURLRequest(const QString& url);

}  // namespace velquin
