// The text renderer of builds that have no font machinery to draw with (the 32-bit Linux build,
// which has no 32-bit FreeType and fontconfig to link): it draws nothing, so the text command
// leaves every buffer as it was.
#include "platform/text_renderer.h"

namespace kinetra {
namespace {

class NullTextRenderer final : public TextRenderer {
public:
    CoverageBox Draw(const TextRequest&, const CoverageSurface&) override { return {}; }
    void Release() override {}
};

}  // namespace

TextRenderer& SystemTextRenderer() {
    static NullTextRenderer renderer;
    return renderer;
}

}  // namespace kinetra
