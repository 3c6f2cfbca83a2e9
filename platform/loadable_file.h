/*
 * What a loadable file (plug-in, program) must show before the dynamic
 * loader is given it.
 */
#ifndef OV_PLATFORM_LOADABLE_FILE_H
#define OV_PLATFORM_LOADABLE_FILE_H

#include <string>

namespace ov {

/* Why the file must not be handed to the dynamic loader, found from its
 * bytes without mapping them; empty when nothing is wrong in that way.
 * The loader maps each segment at the file offset its program header
 * names and trusts that the file holds it: a segment of a file cut short
 * becomes pages past the file's end, and the first touch of one stops the
 * process (SIGBUS). So the ELF header must be one this build loads (class,
 * byte order, version, machine, a shared object) and the program header
 * table and every segment's bytes must lie inside the file. The section
 * headers are not looked at: the loader never reads them. */
std::string loadableFileFault(const char *path);

} // namespace ov

#endif
