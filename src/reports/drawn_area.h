#pragma once

#include <QRectF>
#include <vector>

// The part of a page drawn on so far, as a set of rectangles: tells whether a
// rectangle overlaps any of them exactly as QRectF::intersects would with each,
// in time that grows with the rectangle's outline rather than with their count.
// A quadtree over the page: a cell that a rectangle covers is marked full, and the
// finest cells keep the pieces of the rectangles that cross them.
class DrawnArea final
{
public:
    // Empties the area over bounds, which should hold every rectangle to come (any
    // other is still answered right, only slowly); more rectangles get finer cells.
    void reset(const QRectF &bounds, qsizetype expectedRectangles);
    void add(const QRectF &rect);
    bool intersects(const QRectF &rect) const;

private:
    struct Cell
    {
        double left, top, right, bottom;
        static Cell of(const QRectF &rect);
        bool finite() const;
        Cell quarter(int which) const;
    };
    struct Node
    {
        int children = -1; // index of the first of four, or -1
        int pieces = -1;   // the finest cells: index into m_pieces, or -1
        bool full = false; // a rectangle covers the whole cell
        bool used = false; // the cell holds a piece of some rectangle
    };

    void add(int node, const Cell &cell, int depth, const Cell &piece);
    bool intersects(int node, const Cell &cell, const Cell &rect) const;
    bool intersectsOneByOne(const QRectF &rect) const;

    Cell m_bounds{0, 0, 0, 0};
    int m_depth = 0;
    std::vector<Node> m_nodes;
    std::vector<std::vector<Cell>> m_pieces;
    std::vector<QRectF> m_all; // every rectangle, for the odd ones
    bool m_oneByOne = false;   // a rectangle outside the bounds or not finite was added
};
