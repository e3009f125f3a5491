// Addresses as text: percent-encoding for query strings and form bodies, reading a query, the
// loopback test that decides where plain http is allowed, and the code a user pastes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Appends the text with every byte but the unreserved ones (letters, digits, "-._~")
// percent-encoded; fit for a query value and for an application/x-www-form-urlencoded body.
void url_encode_into(std::string& out, std::string_view text);
void url_add_param(std::string& out, std::string_view key, std::string_view value);  // "&k=v"

// Decodes %XX and '+' (a space in a query). A malformed escape is kept as it stands.
std::string url_decode(std::string_view text);
// Decodes %XX only: '+' stays, as in a value that was never form-encoded.
std::string url_percent_decode(std::string_view text);

// The decoded value of `key` in the query of an address (or of a bare query), or nothing.
std::optional<std::string> url_query_value(std::string_view address, std::string_view key);

// The host of an http:// or https:// address, brackets of an IPv6 literal kept; empty when the
// address has another form.
std::string_view url_host(std::string_view address);

// localhost, an address in 127.0.0.0/8 written as four decimal parts, or ::1 (bracketed or not).
bool url_host_is_loopback(std::string_view host);

// What the user pasted to finish: the bare code, or the whole address the browser landed on. The
// code is percent-decoded exactly once either way: the server may send its '/' as %2F, and the
// console passes the value as it stood in the address.
struct pasted_code {
  std::string code;
  std::optional<std::string> state;  // only from an address that carries one
  std::string error;                 // e.g. access_denied, when consent was refused
};
pasted_code pasted_code_parse(std::string_view text);
