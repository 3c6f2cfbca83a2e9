/*
 * The ELF entry of a loadable file started from a Linux shell. The platform
 * loads plug-ins and programs with dlopen and calls their own `_start` by
 * symbol; started as a program, a file instead begins here, reached through
 * the dynamic loader that the `.interp` section below names. Linked into
 * every loadable by ov_add_loadable, one of two ways (OV_SHELL_ENTRY_PROGRAM
 * 0 or 1):
 * - a plug-in ends at once with status 100 and prints nothing;
 * - a program (the visualiser) says on one line that it runs inside the
 *   player, and fails.
 * Nothing returns from here: there is no caller to return to.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <string.h>
#include <unistd.h>

/* The dynamic loader resolves every data reference before the entry runs,
 * and a loadable's only outside one is the system's AbsExecBase, which the
 * player exports. Started from a shell there is no player: this empty
 * stand-in keeps the reference bound. It is weak and preemptible, so when
 * the player loads the file, its own AbsExecBase comes first. */
struct ExecBase;
__attribute__((weak, visibility("default"))) struct ExecBase *AbsExecBase;

__attribute__((used, section(".interp"))) static const char dynamicLoader[] = OV_DYNAMIC_LOADER;

enum { pluginStatus = 100, programStatus = 1 };

/* The entry is reached by a jump, with the stack as the kernel left it:
 * not aligned the way a called function expects on x86. */
#if defined(__i386__) || defined(__x86_64__)
__attribute__((force_align_arg_pointer))
#endif
__attribute__((noreturn, visibility("hidden"))) void
ov_shell_entry(void);

void ov_shell_entry(void)
{
#if OV_SHELL_ENTRY_PROGRAM
    static const char runsInside[] =
        " runs inside the Orvane player: orvane play --visualise FILE\n";
    const char *name = program_invocation_short_name;
    ssize_t written = write(STDERR_FILENO, name, strlen(name));
    written = write(STDERR_FILENO, runsInside, sizeof runsInside - 1);
    (void)written;
    _exit(programStatus);
#else
    _exit(pluginStatus);
#endif
}
