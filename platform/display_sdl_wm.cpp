/* The window system's id of an SDL window. Apart from the rest of the
 * back end: SDL_syswm.h brings in X11's names (its Window among them). */
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <cstdint>

namespace ov::display {

uint64_t sdlSystemWindowId(SDL_Window *window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info))
        return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11)
        return static_cast<uint64_t>(info.info.x11.window);
#endif
    return 0;
}

} // namespace ov::display
