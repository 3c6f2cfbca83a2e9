/* The program's start-up: the system interfaces Zephrin needs, opened
 * before its main part runs and closed after it. */
#include "zephrin.h"

struct ExecIFace *IExec;
struct IntuitionIFace *IIntuition;
struct P96IFace *IP96;

namespace {

constexpr int32 returnFail = 20;

struct Library *intuitionBase;
struct Library *p96Base;

void closeLibraries()
{
    IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(IP96));
    IExec->DropInterface(IExec, reinterpret_cast<struct Interface *>(IIntuition));
    IExec->CloseLibrary(IExec, p96Base);
    IExec->CloseLibrary(IExec, intuitionBase);
    IP96 = nullptr;
    IIntuition = nullptr;
    p96Base = intuitionBase = nullptr;
}

} // namespace

OV_EXTERN_C OV_EXPORT int32 _start(void)
{
    IExec = AbsExecBase->MainInterface;
    intuitionBase = IExec->OpenLibrary(IExec, "intuition.library", 0);
    p96Base = IExec->OpenLibrary(IExec, "Picasso96API.library", 0);
    IIntuition = reinterpret_cast<struct IntuitionIFace *>(
        IExec->GetInterface(IExec, intuitionBase, "main", 1, nullptr));
    IP96 = reinterpret_cast<struct P96IFace *>(
        IExec->GetInterface(IExec, p96Base, "main", 1, nullptr));
    int32 result = returnFail;
    if (IIntuition != nullptr && IP96 != nullptr)
        result = zephrinMain();
    closeLibraries();
    return result;
}
