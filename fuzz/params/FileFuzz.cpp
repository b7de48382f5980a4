// Arbitrary bytes as a parameter file, read as the page reads one. Whatever the bytes, the reader
// gives rows or a verdict; rows it gives are seven cells of text that the writer can put back,
// and that file reads back to the same rows.

#include "ParameterFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kestova::params;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ParameterFileRead read = ReadParameterFile(bytes);
    if (read.verdict != FileVerdict::Ok) {
        if (!read.rows.empty()) {
            __builtin_trap(); // a refused file gives no rows
        }
        if (read.verdict == FileVerdict::NotAParameterFile && read.problem.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    if (read.rows.size() > kMaxParameterFileRows) {
        __builtin_trap();
    }
    const ParameterFileRead again =
        ReadParameterFile(WriteParameterFile(0, read.modelName, read.rows));
    if (again.verdict == FileVerdict::NotAParameterFile && again.problem.ends_with("too long")) {
        return 0; // a short line's repeated last field may make the line written out too long
    }
    if (again.verdict != FileVerdict::Ok || again.rows.size() != read.rows.size()) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < read.rows.size(); ++i) {
        if (again.rows[i].cells != read.rows[i].cells) {
            __builtin_trap();
        }
    }
    return 0;
}
