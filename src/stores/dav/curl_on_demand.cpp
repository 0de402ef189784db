// libcurl is loaded when a server store first calls it, not when the program
// starts: linked, it and what it pulls in (TLS, Kerberos, LDAP) cost every
// run some 6 MiB of memory and the time to bind them, also a run over a vdir
// folder that never speaks to a server. These are the libcurl functions the
// store calls, each passing its call on to the library's own.
#define CURL_DISABLE_TYPECHECK
#include <cstdarg>
#include <string>

#include <curl/curl.h>
#include <dlfcn.h>

#include "platform/failure.h"

namespace {

void* Library() {
  static void* const library = [] {
    void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      throw tidewell::Failure(std::string("libcurl cannot be loaded: ") + (why ? why : "?"));
    }
    return handle;
  }();
  return library;
}

template <typename Function>
Function* Real(Function*, const char* name) {
  void* symbol = dlsym(Library(), name);
  if (!symbol) throw tidewell::Failure(std::string("libcurl has no ") + name + ".");
  return reinterpret_cast<Function*>(symbol);
}

// The library's function of the same name and type as `function`.
#define TIDEWELL_REAL(function) static auto* const real = Real(&::function, #function);

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) { TIDEWELL_REAL(curl_global_init) return real(flags); }
CURL* curl_easy_init(void) { TIDEWELL_REAL(curl_easy_init) return real(); }
void curl_easy_cleanup(CURL* curl) { TIDEWELL_REAL(curl_easy_cleanup) real(curl); }
CURLcode curl_easy_perform(CURL* curl) { TIDEWELL_REAL(curl_easy_perform) return real(curl); }
const char* curl_easy_strerror(CURLcode code) {
  TIDEWELL_REAL(curl_easy_strerror) return real(code);
}
char* curl_easy_unescape(CURL* curl, const char* url, int length, int* outlength) {
  TIDEWELL_REAL(curl_easy_unescape) return real(curl, url, length, outlength);
}
void curl_free(void* p) { TIDEWELL_REAL(curl_free) real(p); }
time_t curl_getdate(const char* p, const time_t* unused) {
  TIDEWELL_REAL(curl_getdate) return real(p, unused);
}
curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  TIDEWELL_REAL(curl_slist_append) return real(list, text);
}
void curl_slist_free_all(curl_slist* list) { TIDEWELL_REAL(curl_slist_free_all) real(list); }
CURLU* curl_url(void) { TIDEWELL_REAL(curl_url) return real(); }
void curl_url_cleanup(CURLU* handle) { TIDEWELL_REAL(curl_url_cleanup) real(handle); }
CURLU* curl_url_dup(CURLU* in) { TIDEWELL_REAL(curl_url_dup) return real(in); }
CURLUcode curl_url_get(CURLU* handle, CURLUPart what, char** part, unsigned int flags) {
  TIDEWELL_REAL(curl_url_get) return real(handle, what, part, flags);
}
CURLUcode curl_url_set(CURLU* handle, CURLUPart what, const char* part, unsigned int flags) {
  TIDEWELL_REAL(curl_url_set) return real(handle, what, part, flags);
}

// curl.h fixes these two signatures, with an enum of its own before the
// "...". clang warns that an enum may be promoted there; curl's values all
// fit an int, and the caller passed that int.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif

// The one argument after the option is a long, a pointer (data or a
// function) or a curl_off_t, told by the option's number range.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
  TIDEWELL_REAL(curl_easy_setopt)
  va_list args;
  va_start(args, option);
  CURLcode code;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    code = real(curl, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    code = real(curl, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    code = real(curl, option, va_arg(args, void (*)()));
  } else if (option < CURLOPTTYPE_BLOB) {
    code = real(curl, option, va_arg(args, curl_off_t));
  } else {
    code = real(curl, option, va_arg(args, void*));
  }
  va_end(args);
  return code;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
  TIDEWELL_REAL(curl_easy_getinfo)
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return real(curl, info, out);
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

}  // extern "C"
