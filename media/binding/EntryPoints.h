#pragma once
// Binding of exported names into the process-wide slots. Each library's slots live in
// namespace ff under the entry point's own name, typed from its header declaration, so
// that calls read like the library's API: ff::avcodec_open2(...).
#include <stdexcept>
#include <string>

namespace sw {

// A name the binder could not find; the loader turns it into its error text.
class ELoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Address exported under name; nullptr when absent and optional, else raises ELoadError
// with "Load function %s@%s error: %s" (or "Load variable ..." for a data symbol).
void* LookupSymbol(const std::string& libraryFile, void* handle, const char* name,
                   bool optional, bool data);

template <class Slot>
void BindEntryPoint(const std::string& libraryFile, void* handle, const char* name,
                    bool optional, Slot& slot) {
  slot = reinterpret_cast<Slot>(LookupSymbol(libraryFile, handle, name, optional, false));
}

template <class Slot>
void BindDataSymbol(const std::string& libraryFile, void* handle, const char* name,
                    bool optional, Slot& slot) {
  slot = reinterpret_cast<Slot>(LookupSymbol(libraryFile, handle, name, optional, true));
}

}  // namespace sw

#define SW_DECLARE_SLOT(name) inline decltype(&::name) name = nullptr;
#define SW_BIND_SLOT(name) ::sw::BindEntryPoint(file, handle, #name, false, ::ff::name);
#define SW_CLEAR_SLOT(name) ::ff::name = nullptr;
