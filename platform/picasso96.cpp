/* The interface "main" of "Picasso96API.library": copying memory pixels
 * into windows (the drawing itself is Intuition's, in intuition.cpp). */
#include "display_backend.h"
#include "platform.h"

namespace {

uint32 p96Obtain(struct P96IFace *Self) { return ++Self->Data.RefCount; }
uint32 p96Release(struct P96IFace *Self) { return --Self->Data.RefCount; }

void p96WritePixelArray(struct P96IFace *, const struct RenderInfo *renderInfo, uint16 srcX,
                        uint16 srcY, struct RastPort *rastPort, uint16 destX, uint16 destY,
                        uint16 sizeX, uint16 sizeY)
{
    ov::display::writePixels(renderInfo, srcX, srcY, rastPort, destX, destY, sizeX, sizeY);
}

// clang-format off
void *const picasso96Vectors[] = {
    (void *)p96Obtain, (void *)p96Release, nullptr, nullptr, (void *)p96WritePixelArray,
    VECTOR_TABLE_END,
};
// clang-format on

} // namespace

void ov::display::registerPicasso96Library()
{
    ovRegisterBuiltinLibrary("Picasso96API.library", 2, picasso96Vectors);
}
