// libcurl is loaded on the first request, not at start-up: linking it makes every run of a tool
// several times slower, and the commands that run most often (status, start, cancel) never touch
// the network.
#include <curl/curl.h>

#include "oauth/http_post.h"
#include "oauth/url_text.h"
#include "platform/library.h"
#include "product.h"

namespace {

// The few libcurl functions used, looked up once in the loaded library. Nothing here calls
// libcurl directly, so the linker cannot pull it in behind our back.
struct curl_api {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
  CURLcode (*easy_perform)(CURL* handle);
  CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
  void (*easy_cleanup)(CURL* handle);
  const char* (*easy_strerror)(CURLcode code);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
  CURLU* (*url)();
  CURLUcode (*url_set)(CURLU* url, CURLUPart part, const char* text, unsigned flags);
  CURLUcode (*url_get)(const CURLU* url, CURLUPart part, char** text, unsigned flags);
  void (*url_cleanup)(CURLU* url);
  void (*free)(void* block);
};

template <typename Fn>
bool bind(void* library, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(platform_library_symbol(library, name));
  return out != nullptr;
}

// The library stays loaded until the process ends: libcurl and OpenSSL do not support unloading.
const curl_api* curl_api_get() {
  static curl_api api;
  static int state = 0;  // 0 not tried, 1 loaded, -1 failed
  if (state != 0) return state > 0 ? &api : nullptr;
  state = -1;
  void* library = platform_library_open("libcurl.so.4");
  if (library == nullptr) return nullptr;
  bool bound = bind(library, "curl_global_init", api.global_init) &&
               bind(library, "curl_easy_init", api.easy_init) &&
               bind(library, "curl_easy_setopt", api.easy_setopt) &&
               bind(library, "curl_easy_perform", api.easy_perform) &&
               bind(library, "curl_easy_getinfo", api.easy_getinfo) &&
               bind(library, "curl_easy_cleanup", api.easy_cleanup) &&
               bind(library, "curl_easy_strerror", api.easy_strerror) &&
               bind(library, "curl_slist_append", api.slist_append) &&
               bind(library, "curl_slist_free_all", api.slist_free_all) &&
               bind(library, "curl_url", api.url) && bind(library, "curl_url_set", api.url_set) &&
               bind(library, "curl_url_get", api.url_get) &&
               bind(library, "curl_url_cleanup", api.url_cleanup) &&
               bind(library, "curl_free", api.free);
  if (!bound || api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  state = 1;
  return &api;
}

// One request's libcurl objects, released on every path.
struct curl_handle {
  const curl_api* api;
  CURL* easy = nullptr;
  CURLU* url = nullptr;
  curl_slist* headers = nullptr;
  explicit curl_handle(const curl_api* loaded) : api(loaded) {}
  curl_handle(const curl_handle&) = delete;
  curl_handle& operator=(const curl_handle&) = delete;
  ~curl_handle() {
    if (easy != nullptr) api->easy_cleanup(easy);
    if (url != nullptr) api->url_cleanup(url);
    if (headers != nullptr) api->slist_free_all(headers);
  }
};

// A part of the parsed address, as libcurl parsed it: the host that the loopback test sees is
// the host that libcurl connects to.
std::string url_part(const curl_handle& handle, CURLUPart part) {
  char* text = nullptr;
  if (handle.api->url_get(handle.url, part, &text, 0) != CURLUE_OK) return {};
  std::string out = text;
  handle.api->free(text);
  return out;
}

size_t collect_body(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  std::size_t bytes = size * count;
  if (body->size() + bytes > http_body_limit_bytes) return 0;  // libcurl then fails the transfer
  body->append(data, bytes);
  return bytes;
}

http_outcome outcome_of(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return http_outcome::answered;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return http_outcome::unreachable;
    default:
      return http_outcome::failed;
  }
}

}  // namespace

http_reply http_post_form(const std::string& url, const std::string& form_body) {
  http_reply reply;
  const curl_api* api = curl_api_get();
  if (api == nullptr) {
    reply.detail = "libcurl (libcurl.so.4) could not be loaded";
    return reply;
  }
  curl_handle handle(api);
  handle.url = api->url();
  handle.easy = api->easy_init();
  if (handle.url == nullptr || handle.easy == nullptr) {
    reply.detail = "libcurl could not start a request";
    return reply;
  }
  if (api->url_set(handle.url, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    reply.outcome = http_outcome::refused;
    reply.detail = "not a valid address: " + url;
    return reply;
  }
  std::string scheme = url_part(handle, CURLUPART_SCHEME);
  bool loopback = url_host_is_loopback(url_part(handle, CURLUPART_HOST));
  if (scheme != "https" && !(scheme == "http" && loopback)) {
    reply.outcome = http_outcome::refused;
    reply.detail = "only https:// addresses (or http:// to this machine) are used: " + url;
    return reply;
  }

  long total = http_total_timeout();
  long connect = total < http_connect_timeout_seconds ? total : http_connect_timeout_seconds;
  handle.headers = api->slist_append(nullptr, "Accept: application/json");
  CURL* easy = handle.easy;
  api->easy_setopt(easy, CURLOPT_CURLU, handle.url);
  api->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, scheme.c_str());
  api->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  api->easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  api->easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  api->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  api->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connect);
  api->easy_setopt(easy, CURLOPT_TIMEOUT, total);
  // A proxy has no business between this machine and itself.
  if (loopback) api->easy_setopt(easy, CURLOPT_NOPROXY, "*");
  api->easy_setopt(easy, CURLOPT_HTTPHEADER, handle.headers);
  api->easy_setopt(easy, CURLOPT_USERAGENT, "lumenhollow-tools/" PRODUCT_VERSION);
  api->easy_setopt(easy, CURLOPT_POSTFIELDS, form_body.c_str());
  api->easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form_body.size()));
  api->easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect_body);
  api->easy_setopt(easy, CURLOPT_WRITEDATA, &reply.body);

  CURLcode code = api->easy_perform(easy);
  reply.outcome = outcome_of(code);
  if (code != CURLE_OK) {
    reply.detail = api->easy_strerror(code);
    reply.body.clear();
    return reply;
  }
  api->easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &reply.status);
  return reply;
}
