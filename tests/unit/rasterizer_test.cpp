// The triangle rasterizer as exact pixel sets: the split at the middle corner,
// winding, shade gradients, clipped rows and columns, and the limits beyond which
// a triangle is dropped rather than drawn from numbers that do not fit.
#include "render_target.h"

#include "render/ramp.h"
#include "render/rasterizer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Every pixel of row `row` from first_column on holds the listed entries, and the
// row holds nothing else.
void expect_row(const SentinelTarget &target, int32_t row, int32_t first_column, const std::vector<int32_t> &entries)
{
    for (int32_t c = 0; c < target.width(); ++c) {
        const int32_t k = c - first_column;
        const int32_t expected = k >= 0 && k < static_cast<int32_t>(entries.size()) ? entries[k] : -1;
        EXPECT_EQ(entry_at(target, c, row), expected) << "row " << row << " column " << c;
    }
}

// The entries of one row of a picture, from its first written column on.
struct RowEntries {
    int32_t row;
    int32_t first_column;
    std::vector<int32_t> entries;
};

// The triangle a, b, c on a fresh width x height target: the pixels it writes as
// a picture, how many there are, and the entries of some of its rows.
void expect_shaded(int32_t width, int32_t height, const RayVertex (&corners)[3],
                   const std::vector<std::string> &picture, int64_t written, const std::vector<RowEntries> &rows)
{
    SentinelTarget target(width, height);
    draw(corners[0], corners[1], corners[2]);
    EXPECT_TRUE(matches_picture(target, picture));
    EXPECT_EQ(target.written_count(), written);
    for (const RowEntries &r : rows) {
        expect_row(target, r.row, r.first_column, r.entries);
    }
}

class Rasterizer : public ::testing::Test {
protected:
    void SetUp() override { build_light_ramp(); }
};

// clang-format off
const std::vector<std::string> ISOSCELES = {
    "....#...............", // row 9
    "....##..............",
    "...###..............",
    "...####.............",
    "..#####.............",
    "..######............",
    ".#######............",
    ".########...........",
    "#########...........",
    "##########..........", // row 0
};
// clang-format on

TEST_F(Rasterizer, IsoscelesInEveryRotation)
{
    const RayVertex a{0, 0, 10}, b{10, 0, 10}, c{5, 10, 10};
    const RayVertex orders[3][3] = {{a, b, c}, {b, c, a}, {c, a, b}};
    for (const auto &order : orders) {
        SentinelTarget target(20, 20);
        draw(order[0], order[1], order[2]);
        EXPECT_TRUE(matches_picture(target, ISOSCELES)) << "first corner " << order[0].x << "," << order[0].y;
        EXPECT_EQ(target.written_count(), 55);
        for (int32_t r = 0; r < 10; ++r) {
            for (int32_t col = 0; col < 20; ++col) {
                if (target.at(col, r) != SENTINEL) {
                    EXPECT_EQ(entry_at(target, col, r), 10) << "row " << r << " column " << col;
                }
            }
        }
    }
}

TEST_F(Rasterizer, ClockwiseDrawsNothing)
{
    SentinelTarget target(20, 20);
    draw({0, 0, 10}, {5, 10, 10}, {10, 0, 10});
    EXPECT_EQ(target.written_count(), 0);
}

// clang-format off
const std::vector<std::string> FLAT_TOP = {
    "#########...........", // row 9
    ".########...........",
    ".#######............",
    "..######............",
    "..#####.............", // row 5
    "...####.............",
    "...###..............",
    "....##..............",
    "....#...............", // row 1
    "....................", // row 0: both ends at column 5
};
// clang-format on

TEST_F(Rasterizer, FlatTopShadesRowByRow)
{
    expect_shaded(
        20, 20, {{5, 0, 0}, {10, 10, 200}, {0, 10, 200}}, FLAT_TOP, 45,
        {{1, 4, {20}}, {5, 2, {100, 100, 100, 100, 100}}, {9, 0, {180, 180, 180, 180, 180, 180, 180, 180, 180}}});
}

TEST_F(Rasterizer, HorizontalGradients)
{
    {
        // step 5120: 20 entries per pixel.
        SentinelTarget target(20, 20);
        draw({0, 0, 0}, {8, 0, 160}, {0, 4, 0});
        EXPECT_TRUE(matches_picture(
            target, {"##..................", "####................", "######..............", "########............"}));
        expect_row(target, 0, 0, {0, 20, 40, 60, 80, 100, 120, 140});
        expect_row(target, 3, 0, {0, 20});
    }
    {
        // step 2560 with six columns cut off on the left; rows 1 and 2 end at or
        // left of column 0.
        SentinelTarget target(20, 20);
        draw({-6, 0, 0}, {4, 0, 100}, {-6, 3, 0});
        EXPECT_EQ(target.written_count(), 4);
        expect_row(target, 0, 0, {60, 70, 80, 90});
    }
}

// clang-format off
const std::vector<std::string> MIDDLE_ON_THE_LEFT = {
    "..................#.....", // row 19
    ".................##.....",
    "...............###......",
    "..............####......",
    "............#####.......",
    "...........######.......",
    ".........#######........",
    "........########........",
    "......#########.........",
    ".....##########.........",
    "...###########..........",
    "..############..........", // row 8
    "...##########...........",
    "....#########...........",
    ".....#######............",
    "......######............",
    ".......####.............",
    "........###.............",
    ".........#..............", // row 1
    "........................", // row 0
};
// clang-format on

TEST_F(Rasterizer, MiddleCornerOnTheLeft)
{
    EdgeStep edge;
    setup_edge(edge, {10, 0, 0}, {20, 20, 200});
    EXPECT_EQ(edge.rows, 20);
    EXPECT_EQ(edge.x_step, 128);
    EXPECT_EQ(edge.shade_step, 2560);
    setup_edge(edge, {10, 0, 0}, {2, 8, 100});
    EXPECT_EQ(edge.rows, 8);
    EXPECT_EQ(edge.x_step, -256);
    EXPECT_EQ(edge.shade_step, 3200);
    setup_edge(edge, {2, 8, 100}, {20, 20, 200});
    EXPECT_EQ(edge.rows, 12);
    EXPECT_EQ(edge.x_step, 384);
    EXPECT_EQ(edge.shade_step, 2133); // 25600 / 12 truncated
    EXPECT_EQ(edge.x, 2);
    EXPECT_EQ(edge.y, 8);

    // step -426: the shade falls by 1.66 entries per column.
    expect_shaded(24, 22, {{10, 0, 0}, {20, 20, 200}, {2, 8, 100}}, MIDDLE_ON_THE_LEFT, 118,
                  {{1, 9, {12}}, {8, 2, {100, 98, 96, 95, 93, 91, 90, 88, 86, 85, 83, 81}}, {19, 18, {191}}});
}

TEST_F(Rasterizer, FlatEdgeHasNoSteps)
{
    EdgeStep edge{-1, -1, -1, -1, -1};
    setup_edge(edge, {3, 7, 9}, {40, 7, 200});
    EXPECT_EQ(edge.rows, 0);
    EXPECT_EQ(edge.x_step, 0);
    EXPECT_EQ(edge.shade_step, 0);
}

// Each row: a triangle on a 20 x 20 target and the rows it must fill whole
// (-1: none); the lowest rows are written, the top corner's row never is.
struct EdgeRowCase {
    const char *what;
    RayVertex a, b, c;
    std::vector<std::string> picture;
};

TEST_F(Rasterizer, TopAndBottomRows)
{
    const EdgeRowCase cases[] = {
        {"lowest corner on row height", {0, 20, 50}, {10, 20, 50}, {5, 30, 50}, {}},
        {"flat bottom on row height - 1", {0, 19, 50}, {10, 19, 50}, {5, 29, 50}, {"##########"}},
        {"top corner on row 0", {0, -5, 50}, {10, -5, 50}, {5, 0, 50}, {}},
        {"one row high, drawn on row 0", {0, 0, 50}, {10, 0, 50}, {5, 1, 50}, {"##########"}},
        {"three corners on one row", {0, 3, 50}, {10, 3, 50}, {5, 3, 50}, {}},
        {"three corners on one line", {0, 0, 50}, {5, 5, 50}, {10, 10, 50}, {}},
        {"two corners in one place", {2, 2, 50}, {2, 2, 50}, {12, 9, 50}, {}},
    };
    for (const EdgeRowCase &c : cases) {
        SentinelTarget target(20, 20);
        draw(c.a, c.b, c.c);
        std::vector<std::string> picture = c.picture;
        if (c.a.y == 19) {
            picture.insert(picture.end(), 19, std::string(20, '.'));
        }
        EXPECT_TRUE(matches_picture(target, picture)) << c.what;
    }
}

// Truncated steps carry the shade past the corner shades; the index must land on
// the nearest table entry. Unclamped, these pixels would read entry -1.
TEST_F(Rasterizer, ShadeBelowTheRampClampsToEntryZero)
{
    SentinelTarget target(39, 25);
    draw({-17, -1679, 179}, {17, -2, 1}, {14, 8, 1});
    const int32_t below[][2] = {{15, 0}, {15, 1}, {14, 3}, {14, 4}, {13, 6}, {13, 7}};
    for (const auto &p : below) {
        EXPECT_EQ(entry_at(target, p[0], p[1]), 0) << "column " << p[0] << " row " << p[1];
    }
    EXPECT_TRUE(target.margins_intact());
}

// Each row: a triangle at the edge of what is drawn, and whether it is drawn.
struct LimitCase {
    const char *what;
    RayVertex a, b, c;
    bool drawn;
};

TEST_F(Rasterizer, LimitsOfWhatIsDrawn)
{
    const int32_t L = CORNER_LIMIT;
    const LimitCase cases[] = {
        {"rightmost corner column", {0, 0, 10}, {L - 1, 0, 10}, {0, 10, 10}, true},
        {"one column further", {0, 0, 10}, {L, 0, 10}, {0, 10, 10}, false},
        {"leftmost corner column", {-L, 0, 10}, {19, 0, 10}, {-L, 10, 10}, true},
        {"one column further left", {-L - 1, 0, 10}, {19, 0, 10}, {-L - 1, 10, 10}, false},
        {"highest corner row", {0, 0, 10}, {10, 0, 10}, {5, L - 1, 10}, true},
        {"one row higher", {0, 0, 10}, {10, 0, 10}, {5, L, 10}, false},
        {"lowest corner row", {0, -L, 10}, {19, -L, 10}, {10, 10, 10}, true},
        {"one row lower", {0, -L - 1, 10}, {19, -L - 1, 10}, {10, 10, 10}, false},
        {"largest corner shade", {0, 0, L - 1}, {10, 0, L - 1}, {5, 10, L - 1}, true},
        {"one shade more", {0, 0, L}, {10, 0, L}, {5, 10, L}, false},
        {"smallest corner shade", {0, 0, -L}, {10, 0, -L}, {5, 10, -L}, true},
        {"one shade less", {0, 0, -L - 1}, {10, 0, -L - 1}, {5, 10, -L - 1}, false},
        // One-row edges whose column step is 2^31 - 256, then 2^31.
        {"widest one-row edge", {-L / 2, 0, 10}, {L / 2 - 1, 1, 10}, {-L / 2, 2, 10}, true},
        {"one column wider", {-L / 2, 0, 10}, {L / 2, 1, 10}, {-L / 2, 2, 10}, false},
        // The same with the shade step.
        {"steepest one-row shade", {0, 0, -L / 2}, {40, 1, L / 2 - 1}, {0, 2, -L / 2}, true},
        {"one shade steeper", {0, 0, -L / 2}, {40, 1, L / 2}, {0, 2, -L / 2}, false},
        // Shade gradients of 2^31 - 256, then 2^31, across a one-pixel triangle.
        {"steepest gradient", {0, 0, 0}, {1, 0, L - 1}, {0, 1, 0}, true},
        {"one step steeper", {0, 0, -1}, {1, 0, L - 1}, {0, 1, -1}, false},
    };
    for (const LimitCase &c : cases) {
        SentinelTarget target(20, 20);
        draw(c.a, c.b, c.c);
        EXPECT_EQ(target.written_count() > 0, c.drawn) << c.what;
        EXPECT_TRUE(target.margins_intact()) << c.what;
    }
}

} // namespace
