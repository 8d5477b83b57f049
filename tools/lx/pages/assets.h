// The pages' style sheets and script, kept as .css and .js files beside this
// header (so that tools can check them) and compiled in by the build.
#pragma once

namespace lxtool::assets {

extern const char* const PAGE_CSS; // page.css
extern const char* const PAGE_JS;  // page.js
extern const char* const
    FIGURE_CSS; // figure.css: inside each SVG, so a figure saved alone keeps it

} // namespace lxtool::assets
