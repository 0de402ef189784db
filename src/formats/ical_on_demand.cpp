// libical is loaded when a series is first checked, not when the program
// starts: linked, it and the ICU libraries it pulls in cost every run some
// 2 MiB of memory and the time to bind them, also a run over contacts that
// never reads a rule. These are the libical functions series.cpp calls, each
// passing its call on to the library's own.
#include <string>

#include <dlfcn.h>
#include <libical/ical.h>

#include "platform/failure.h"

namespace {

void* Library() {
  static void* const library = [] {
    void* handle = dlopen("libical.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      throw tidewell::Failure(std::string("libical cannot be loaded: ") + (why ? why : "?"));
    }
    return handle;
  }();
  return library;
}

template <typename Function>
Function* Real(Function*, const char* name) {
  void* symbol = dlsym(Library(), name);
  if (!symbol) throw tidewell::Failure(std::string("libical has no ") + name + ".");
  return reinterpret_cast<Function*>(symbol);
}

// The library's function of the same name and type as `function`.
#define TIDEWELL_REAL(function) static auto* const real = Real(&::function, #function);

}  // namespace

extern "C" {

struct icaltimetype icaltime_from_string(const char* str) {
  TIDEWELL_REAL(icaltime_from_string) return real(str);
}
icaltimezone* icaltimezone_get_builtin_timezone(const char* location) {
  TIDEWELL_REAL(icaltimezone_get_builtin_timezone) return real(location);
}
struct icaltimetype icaltime_set_timezone(struct icaltimetype* t, const icaltimezone* zone) {
  TIDEWELL_REAL(icaltime_set_timezone) return real(t, zone);
}
struct icalrecurrencetype icalrecurrencetype_from_string(const char* str) {
  TIDEWELL_REAL(icalrecurrencetype_from_string) return real(str);
}
int icaltime_is_null_time(const struct icaltimetype t) {
  TIDEWELL_REAL(icaltime_is_null_time) return real(t);
}
int icaltime_compare_date_only(const struct icaltimetype a, const struct icaltimetype b) {
  TIDEWELL_REAL(icaltime_compare_date_only) return real(a, b);
}
int icaltime_compare(const struct icaltimetype a, const struct icaltimetype b) {
  TIDEWELL_REAL(icaltime_compare) return real(a, b);
}
icalrecur_iterator* icalrecur_iterator_new(struct icalrecurrencetype rule,
                                           struct icaltimetype dtstart) {
  TIDEWELL_REAL(icalrecur_iterator_new) return real(rule, dtstart);
}
struct icaltimetype icalrecur_iterator_next(icalrecur_iterator* it) {
  TIDEWELL_REAL(icalrecur_iterator_next) return real(it);
}
void icalrecur_iterator_free(icalrecur_iterator* it) {
  TIDEWELL_REAL(icalrecur_iterator_free) real(it);
}

}  // extern "C"
