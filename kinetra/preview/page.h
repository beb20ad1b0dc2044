// The page's files (HTML, CSS, JavaScript), compiled into the program from kinetra/preview/page/.
#pragma once

#include <cstddef>
#include <string_view>

namespace kinetra::preview {

struct PageFile {
    const char* name;  // as under page/, e.g. "index.html"
    const unsigned char* bytes;
    size_t size;
    std::string_view text() const { return {reinterpret_cast<const char*>(bytes), size}; }
};

extern const PageFile kPageFiles[];
extern const size_t kPageFileCount;

}  // namespace kinetra::preview
