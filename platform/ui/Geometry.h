#pragma once

namespace platform {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

// Screen coordinates have their origin at the bottom left of the main screen.
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    bool operator==(const Rect&) const = default;
};

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    static Color white() { return {1, 1, 1, 1}; }
    static Color black() { return {0, 0, 0, 1}; }
    static Color clear() { return {0, 0, 0, 0}; }
    bool operator==(const Color&) const = default;
};

}  // namespace platform
