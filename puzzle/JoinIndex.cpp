#include "puzzle/JoinIndex.h"

#include <algorithm>

#include "puzzle/ONEPUZZLE.h"

void JoinIndex::Begin(ONEPUZZLE& puzzle)
{
    const int count = puzzle.pieceCount > 0 && puzzle.pieces != nullptr ? puzzle.pieceCount : 0;
    const std::size_t n = static_cast<std::size_t>(count);
    if (late_.size() != n) {
        late_.assign(n, {});
        isActive_.assign(n, 0);
        active_.clear();
    }
    for (int parent : active_) {
        late_[static_cast<std::size_t>(parent)].clear();
        isActive_[static_cast<std::size_t>(parent)] = 0;
    }
    active_.clear();
    puzzle_ = &puzzle;
    pieces_ = puzzle.pieces;
    inPass_ = true;

    // Group the pending pieces by parent, each group in array order (a
    // counting sort): end_ first counts each group, then serves as its fill
    // cursor and ends one past its last entry.
    next_.assign(n, 0);
    end_.assign(n, 0);
    auto parentOf = [&](int i) {
        const ONEPIECE& piece = pieces_[i];
        if (piece.parent == nullptr || piece.realPosValid)
            return -1;
        const long at = piece.parent - pieces_;
        return at >= 0 && at < count ? static_cast<int>(at) : -1;
    };
    for (int i = 0; i < count; ++i)
        if (const int p = parentOf(i); p >= 0)
            ++end_[static_cast<std::size_t>(p)];
    int start = 0;
    for (int p = 0; p < count; ++p) {
        const std::size_t up = static_cast<std::size_t>(p);
        const int size = end_[up];
        next_[up] = start;
        end_[up] = start;
        start += size;
        if (size > 0)
            Activate(p);
    }
    order_.resize(static_cast<std::size_t>(start));
    for (int i = 0; i < count; ++i)
        if (const int p = parentOf(i); p >= 0)
            order_[static_cast<std::size_t>(end_[static_cast<std::size_t>(p)]++)] = i;
}

void JoinIndex::End()
{
    inPass_ = false;
}

void JoinIndex::Activate(int parent)
{
    if (!isActive_[static_cast<std::size_t>(parent)]) {
        isActive_[static_cast<std::size_t>(parent)] = 1;
        active_.push_back(parent);
    }
}

void JoinIndex::AskUpTo(const ONEPIECE& piece, int last)
{
    const int self = static_cast<int>(&piece - pieces_);
    const int ownParent = piece.parent != nullptr ? static_cast<int>(piece.parent - pieces_) : -1;
    ONEPIECE* const pieces = puzzle_->pieces;
    auto ask = [&](int i, const ONEPIECE* parent) {
        ONEPIECE& candidate = pieces[i];
        if (candidate.parent == parent && !candidate.realPosValid)
            candidate.RealPos();
    };
    std::size_t kept = 0;
    for (std::size_t a = 0; a < active_.size(); ++a) {
        const int p = active_[a];
        const std::size_t up = static_cast<std::size_t>(p);
        // The piece passes over its own children and its siblings.
        if (p == self || p == ownParent) {
            active_[kept++] = p;
            continue;
        }
        const ONEPIECE* const parent = &pieces[p];
        int& next = next_[up];
        while (next < end_[up] && order_[static_cast<std::size_t>(next)] <= last)
            ask(order_[static_cast<std::size_t>(next++)], parent);
        std::vector<int>& late = late_[up];
        if (!late.empty()) {
            late.erase(std::remove_if(late.begin(), late.end(),
                                      [&](int i) {
                                          if (i > last)
                                              return false;
                                          ask(i, parent);
                                          return true;
                                      }),
                       late.end());
        }
        if (next < end_[up] || !late.empty())
            active_[kept++] = p;
        else
            isActive_[up] = 0;
    }
    active_.resize(kept);
}

void JoinIndex::Join(ONEPIECE& piece, ONEPUZZLE& puzzle)
{
    if (!inPass_ || puzzle_ != &puzzle || pieces_ != puzzle.pieces) {
        // Outside a pass (a single piece stepped on its own): index the board
        // as it stands, for this step only.
        Begin(puzzle);
        inPass_ = false;
    }
    const int count = static_cast<int>(late_.size());
    if (count == 0 || piece.MustWalkChainFirst())
        return;
    ONEPIECE* const pieces = puzzle.pieces;

    // The full run also asks for this piece's own real position at every
    // candidate it doesn't pass over. That needs no stand-in: a join target
    // asks for it before any join, and without a join nothing moves the
    // piece's frame before its motion step asks again.

    // The grid neighbours in array order (the array holds the top row
    // first): the cell above, left, right, below.
    int candidates[4];
    int found = 0;
    const int columns = puzzle.columns;
    const int rows = puzzle.rows;
    auto add = [&](int column, int row) {
        if (column >= 0 && column < columns && row >= 0 && row < rows)
            candidates[found++] = (rows - 1 - row) * columns + column;
    };
    add(piece.column, piece.row + 1);
    add(piece.column - 1, piece.row);
    add(piece.column + 1, piece.row);
    add(piece.column, piece.row - 1);

    for (int c = 0; c < found; ++c) {
        const int at = candidates[c];
        ONEPIECE& other = pieces[at];
        if (piece.PassesOver(other))
            continue;
        ONEPIECE* const root = piece.JoinTarget(other, count);
        if (root == nullptr)
            continue;
        // Everything the full run asks up to here is asked before the join moves anything.
        AskUpTo(piece, at);
        ONEPIECE* const hung = piece.HangGroupUnder(root);
        if (!hung->realPosValid) {
            const int r = static_cast<int>(root - pieces);
            late_[static_cast<std::size_t>(r)].push_back(static_cast<int>(hung - pieces));
            Activate(r);
        }
        if (piece.MustWalkChainFirst())
            return;  // the full run stops at its next candidate
    }
    AskUpTo(piece, count - 1);
}
