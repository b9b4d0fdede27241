// Plain geometry values in points (or pixels where a port says so).
#pragma once

namespace geo {

struct Point {
    double x = 0;
    double y = 0;
};

struct Size {
    double width = 0;
    double height = 0;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

} // namespace geo
