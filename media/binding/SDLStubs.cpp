#include "SDLStubs.h"

namespace sw {

void BindSDL(const std::string& file, void* handle) {
  SW_SDL_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindSDL() {
  SW_SDL_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
