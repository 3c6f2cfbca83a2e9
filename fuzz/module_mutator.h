/*
 * Structure-aware mutation of "M.K." modules for the module fuzz targets.
 * Random bytes almost never form a module whose rows loop and jump, so
 * inputs are taken apart into header, patterns and sample data, changed
 * where the replay routine branches (cells and their effect commands, with
 * a leaning towards the sequencing ones, orders, song length, sample
 * headers and loops) and put back together with a size the loader accepts.
 * Linking module_mutator.cpp into a target installs it as the target's
 * libFuzzer mutator.
 */
#ifndef OV_FUZZ_MODULE_MUTATOR_H
#define OV_FUZZ_MODULE_MUTATOR_H

#include <cstddef>
#include <cstdint>

namespace ovfuzz {

/* Changes the module in data[0..size) and writes it back in the valid
 * layout: as many patterns as the order table names, and the sample data
 * the headers ask for (shortened to fit maxSize). Returns the new size. */
size_t mutateModule(uint8_t *data, size_t size, size_t maxSize, unsigned seed);

/* A module from first with patterns, rows or sample headers of second. */
size_t crossModules(const uint8_t *first, size_t firstSize, const uint8_t *second,
                    size_t secondSize, uint8_t *out, size_t maxOutSize, unsigned seed);

} // namespace ovfuzz

#endif
