// The request as the web server hands it over. The entry reads it from the environment once and
// passes it down; nothing below the entry asks the environment for request data.
#pragma once

struct request {
  const char* query = "";                 // QUERY_STRING, undecoded; the empty text when unset
  const char* password = nullptr;         // BOT_PASSWORD: the node password
  const char* password_header = nullptr;  // HTTP_X_BOT_PASSWORD: the X-Bot-Password header
  const char* authorization = nullptr;    // HTTP_AUTHORIZATION: the Authorization header
  const char* content_length = nullptr;   // CONTENT_LENGTH
  const char* method = nullptr;           // REQUEST_METHOD
  const char* content_type = nullptr;     // CONTENT_TYPE
  bool under_cgi = false;                 // GATEWAY_INTERFACE is defined
};

// The request of this process; unset variables are nullptr (the query: the empty text).
request request_from_environment();
