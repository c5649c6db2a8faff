// Outlines of the preset shapes that word processors draw by their type (diamonds, triangles,
// arrows, stars ...), as polygons in the unit square, at the shapes' default proportions.
// Portable, so that the renderer and the tests share them.
#pragma once

#include <span>

namespace docengine {

struct OutlinePoint {
    float x = 0, y = 0;  // 0-1 across and down the shape's box
};

// The outline of preset shape `type` (the `shapeType` property), or an empty span for the
// types not drawn as polygons here.
std::span<const OutlinePoint> PresetOutline(int type);

}  // namespace docengine
