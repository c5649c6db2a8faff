// The preset outlines: each a constant polygon, listed once and looked up by shape type.
#include "shape_outline.h"

#include <iterator>

namespace docengine {
namespace {

constexpr OutlinePoint kDiamond[] = {{0.5f, 0}, {1, 0.5f}, {0.5f, 1}, {0, 0.5f}};
constexpr OutlinePoint kTriangle[] = {{0.5f, 0}, {1, 1}, {0, 1}};
constexpr OutlinePoint kRightTriangle[] = {{0, 0}, {1, 1}, {0, 1}};
constexpr OutlinePoint kParallelogram[] = {{0.25f, 0}, {1, 0}, {0.75f, 1}, {0, 1}};
constexpr OutlinePoint kTrapezoid[] = {{0, 0}, {1, 0}, {0.75f, 1}, {0.25f, 1}};
constexpr OutlinePoint kHexagon[] = {{0.25f, 0}, {0.75f, 0}, {1, 0.5f}, {0.75f, 1}, {0.25f, 1}, {0, 0.5f}};
constexpr OutlinePoint kOctagon[] = {{0.29f, 0}, {0.71f, 0}, {1, 0.29f}, {1, 0.71f},
                                     {0.71f, 1}, {0.29f, 1}, {0, 0.71f}, {0, 0.29f}};
constexpr OutlinePoint kPlus[] = {{0.25f, 0}, {0.75f, 0}, {0.75f, 0.25f}, {1, 0.25f}, {1, 0.75f}, {0.75f, 0.75f},
                                  {0.75f, 1}, {0.25f, 1}, {0.25f, 0.75f}, {0, 0.75f}, {0, 0.25f}, {0.25f, 0.25f}};
constexpr OutlinePoint kStar[] = {{0.5f, 0},         {0.6123f, 0.3455f}, {0.9755f, 0.3455f}, {0.6817f, 0.559f},
                                  {0.7939f, 0.9045f}, {0.5f, 0.691f},     {0.2061f, 0.9045f}, {0.3183f, 0.559f},
                                  {0.0245f, 0.3455f}, {0.3877f, 0.3455f}};
constexpr OutlinePoint kRightArrow[] = {{0, 0.25f}, {0.75f, 0.25f}, {0.75f, 0}, {1, 0.5f},
                                        {0.75f, 1}, {0.75f, 0.75f}, {0, 0.75f}};
constexpr OutlinePoint kLeftArrow[] = {{1, 0.25f}, {0.25f, 0.25f}, {0.25f, 0}, {0, 0.5f},
                                       {0.25f, 1}, {0.25f, 0.75f}, {1, 0.75f}};
constexpr OutlinePoint kUpArrow[] = {{0.25f, 1}, {0.25f, 0.25f}, {0, 0.25f}, {0.5f, 0},
                                     {1, 0.25f}, {0.75f, 0.25f}, {0.75f, 1}};
constexpr OutlinePoint kDownArrow[] = {{0.25f, 0}, {0.25f, 0.75f}, {0, 0.75f}, {0.5f, 1},
                                       {1, 0.75f}, {0.75f, 0.75f}, {0.75f, 0}};
constexpr OutlinePoint kLeftRightArrow[] = {{0, 0.5f},     {0.2f, 0},   {0.2f, 0.25f}, {0.8f, 0.25f}, {0.8f, 0},
                                            {1, 0.5f},     {0.8f, 1},   {0.8f, 0.75f}, {0.2f, 0.75f}, {0.2f, 1}};
constexpr OutlinePoint kUpDownArrow[] = {{0.5f, 0},     {1, 0.2f},   {0.75f, 0.2f}, {0.75f, 0.8f}, {1, 0.8f},
                                         {0.5f, 1},     {0, 0.8f},   {0.25f, 0.8f}, {0.25f, 0.2f}, {0, 0.2f}};
constexpr OutlinePoint kHomePlate[] = {{0, 0}, {0.75f, 0}, {1, 0.5f}, {0.75f, 1}, {0, 1}};
constexpr OutlinePoint kChevron[] = {{0, 0}, {0.75f, 0}, {1, 0.5f}, {0.75f, 1}, {0, 1}, {0.25f, 0.5f}};
constexpr OutlinePoint kPentagon[] = {{0.5f, 0}, {1, 0.382f}, {0.809f, 1}, {0.191f, 1}, {0, 0.382f}};
constexpr OutlinePoint kFlowData[] = {{0.2f, 0}, {1, 0}, {0.8f, 1}, {0, 1}};
constexpr OutlinePoint kFlowPreparation[] = {{0.2f, 0}, {0.8f, 0}, {1, 0.5f}, {0.8f, 1}, {0.2f, 1}, {0, 0.5f}};

}  // namespace

std::span<const OutlinePoint> PresetOutline(int type) {
    switch (type) {
        case 4: case 110: return kDiamond;  // 110: a flowchart decision
        case 5: return kTriangle;
        case 6: return kRightTriangle;
        case 7: return kParallelogram;
        case 8: return kTrapezoid;
        case 9: return kHexagon;
        case 10: return kOctagon;
        case 11: return kPlus;
        case 12: return kStar;
        case 13: return kRightArrow;
        case 15: return kHomePlate;
        case 55: return kChevron;
        case 56: return kPentagon;
        case 66: return kLeftArrow;
        case 67: return kDownArrow;
        case 68: return kUpArrow;
        case 69: return kLeftRightArrow;
        case 70: return kUpDownArrow;
        case 111: return kFlowData;
        case 117: return kFlowPreparation;
        default: return {};
    }
}

}  // namespace docengine
