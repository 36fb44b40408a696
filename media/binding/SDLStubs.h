#pragma once
// Slots of SDL2: audio output, events, threads and the player window.
#define SDL_MAIN_HANDLED
extern "C" {
#include <SDL.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_SDL_ENTRY_POINTS(X) \
  X(SDL_Init) X(SDL_Quit) X(SDL_GetError) X(SDL_setenv) X(SDL_Delay) X(SDL_GetTicks) \
  X(SDL_AddTimer) X(SDL_RemoveTimer) X(SDL_OpenAudioDevice) X(SDL_PauseAudioDevice) \
  X(SDL_CloseAudioDevice) X(SDL_MixAudioFormat) X(SDL_GetCurrentAudioDriver) X(SDL_WaitEvent) \
  X(SDL_WaitEventTimeout) X(SDL_PushEvent) X(SDL_RegisterEvents) X(SDL_EventState) \
  X(SDL_CreateWindow) X(SDL_DestroyWindow) X(SDL_CreateRenderer) X(SDL_DestroyRenderer) \
  X(SDL_CreateTexture) X(SDL_DestroyTexture) X(SDL_UpdateYUVTexture) X(SDL_RenderClear) \
  X(SDL_RenderCopy) X(SDL_RenderPresent) X(SDL_GetCurrentVideoDriver) X(SDL_CreateMutex) \
  X(SDL_LockMutex) X(SDL_UnlockMutex) X(SDL_DestroyMutex) X(SDL_CreateCond) X(SDL_DestroyCond) \
  X(SDL_CondSignal) X(SDL_CondWait) X(SDL_CondWaitTimeout) X(SDL_CreateThread) \
  X(SDL_WaitThread) X(SDL_InitSubSystem) X(SDL_QuitSubSystem) X(SDL_AudioInit) X(SDL_AudioQuit) \
  X(SDL_PollEvent) X(SDL_UpdateTexture) X(SDL_SetWindowTitle) X(SDL_SetHint) X(SDL_WasInit) \
  X(SDL_LockAudioDevice) X(SDL_UnlockAudioDevice) X(SDL_TLSCleanup)

namespace ff {
SW_SDL_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindSDL(const std::string& file, void* handle);
void UnbindSDL();
}  // namespace sw
