#include "reports/drawn_area.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxDepth = 9;

} // namespace

// The edges of a rectangle as QRectF::intersects takes them.
DrawnArea::Cell DrawnArea::Cell::of(const QRectF &r)
{
    Cell c{r.x(), r.y(), r.x(), r.y()};
    (r.width() < 0 ? c.left : c.right) += r.width();
    (r.height() < 0 ? c.top : c.bottom) += r.height();
    return c;
}

bool DrawnArea::Cell::finite() const
{
    return std::isfinite(left) && std::isfinite(top) && std::isfinite(right) &&
           std::isfinite(bottom);
}

DrawnArea::Cell DrawnArea::Cell::quarter(int which) const
{
    const double midX = (left + right) / 2;
    const double midY = (top + bottom) / 2;
    return {which & 1 ? midX : left, which & 2 ? midY : top, which & 1 ? right : midX,
            which & 2 ? bottom : midY};
}

void DrawnArea::reset(const QRectF &bounds, qsizetype expectedRectangles)
{
    m_bounds = Cell::of(bounds);
    // A margin, so that rectangles computed apart from bounds still fall within.
    const double margin =
        std::max({1.0, m_bounds.right - m_bounds.left, m_bounds.bottom - m_bounds.top}) * 1e-6;
    m_bounds = {m_bounds.left - margin, m_bounds.top - margin, m_bounds.right + margin,
                m_bounds.bottom + margin};
    // About one finest cell per rectangle.
    m_depth = 1;
    while (m_depth < kMaxDepth && (qsizetype(1) << (2 * m_depth)) < expectedRectangles)
        ++m_depth;
    m_nodes.assign(1, Node());
    m_pieces.clear();
    m_all.clear();
    m_oneByOne = !m_bounds.finite();
}

void DrawnArea::add(const QRectF &rect)
{
    const Cell r = Cell::of(rect);
    if (r.left == r.right || r.top == r.bottom)
        return; // without width or height it intersects nothing
    m_all.push_back(rect);
    if (!r.finite() || r.left < m_bounds.left || r.right > m_bounds.right || r.top < m_bounds.top ||
        r.bottom > m_bounds.bottom)
        m_oneByOne = true;
    if (!m_oneByOne)
        add(0, m_bounds, 0, r);
}

void DrawnArea::add(int node, const Cell &cell, int depth, const Cell &rect)
{
    if (m_nodes[node].full)
        return; // nothing more to know about this cell
    const Cell piece{std::max(rect.left, cell.left), std::max(rect.top, cell.top),
                     std::min(rect.right, cell.right), std::min(rect.bottom, cell.bottom)};
    if (piece.left >= piece.right || piece.top >= piece.bottom)
        return; // touches the cell at most along an edge
    m_nodes[node].used = true;
    if (piece.left == cell.left && piece.top == cell.top && piece.right == cell.right &&
        piece.bottom == cell.bottom) {
        m_nodes[node].full = true;
        return;
    }
    if (depth == m_depth) {
        if (m_nodes[node].pieces < 0) {
            m_nodes[node].pieces = int(m_pieces.size());
            m_pieces.emplace_back();
        }
        std::vector<Cell> &pieces = m_pieces[m_nodes[node].pieces];
        const bool covered = std::any_of(pieces.begin(), pieces.end(), [&piece](const Cell &p) {
            return p.left <= piece.left && p.top <= piece.top && p.right >= piece.right &&
                   p.bottom >= piece.bottom;
        });
        if (!covered) // what an earlier piece holds adds nothing to know
            pieces.push_back(piece);
        return;
    }
    if (m_nodes[node].children < 0) {
        m_nodes[node].children = int(m_nodes.size());
        m_nodes.resize(m_nodes.size() + 4);
    }
    for (int i = 0; i < 4; ++i)
        add(m_nodes[node].children + i, cell.quarter(i), depth + 1, piece);
}

bool DrawnArea::intersects(const QRectF &rect) const
{
    const Cell r = Cell::of(rect);
    if (m_oneByOne || !r.finite())
        return intersectsOneByOne(rect);
    if (r.left == r.right || r.top == r.bottom)
        return false;
    return intersects(0, m_bounds, r);
}

bool DrawnArea::intersects(int node, const Cell &cell, const Cell &rect) const
{
    const Node &n = m_nodes[node];
    if (!n.used)
        return false;
    // Overlapping with some width and height, as QRectF::intersects asks.
    if (rect.left >= cell.right || rect.right <= cell.left || rect.top >= cell.bottom ||
        rect.bottom <= cell.top)
        return false;
    // Every piece in a used cell has width and height; one within rect overlaps it.
    if (n.full || (rect.left <= cell.left && rect.right >= cell.right && rect.top <= cell.top &&
                   rect.bottom >= cell.bottom))
        return true;
    if (n.pieces >= 0) {
        for (const Cell &p : m_pieces[n.pieces]) {
            if (rect.left < p.right && p.left < rect.right && rect.top < p.bottom &&
                p.top < rect.bottom)
                return true;
        }
    }
    if (n.children < 0)
        return false;
    const int first = n.children;
    for (int i = 0; i < 4; ++i) {
        if (intersects(first + i, cell.quarter(i), rect))
            return true;
    }
    return false;
}

bool DrawnArea::intersectsOneByOne(const QRectF &rect) const
{
    return std::any_of(m_all.begin(), m_all.end(),
                       [&rect](const QRectF &earlier) { return earlier.intersects(rect); });
}
