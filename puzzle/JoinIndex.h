#pragma once
#include <vector>

class ONEPIECE;
class ONEPUZZLE;

// The joining step of a pass, looking only at a piece's grid neighbours.
//
// The straightforward step runs every piece against every other one, and the
// only lasting effect of the candidates that can't join (all but the four
// grid neighbours) is that their real positions get asked for, and so cached
// for the rest of the pass, at that moment. Which value a piece caches
// depends on when it is first asked: before or after a join that moves its
// group, before or after its root takes its own step. So this index keeps the
// pieces whose real position is not cached yet, grouped by the piece they hang
// on, and a piece's joining step asks for exactly those its full run over the
// array would have asked for, at the same points between its joins:
//
//  - all candidates it passes over (itself, its children, its siblings) are
//    whole groups of the index, set aside in one step;
//  - between two joins nothing moves, so the candidates of that stretch may be
//    asked in any order; only which stretch a candidate falls in matters, and
//    that is given by its place in the array;
//  - after a join that leaves the piece's parent attached, the full run stops.
//
// So a pass gives the same state, bit for bit, as the full one, in time
// proportional to the pieces plus the joins.
class JoinIndex {
public:
    // Rebuilds the index from the board as it stands: every attached piece
    // whose real position isn't cached, under its parent. Called at the start
    // of a pass (after the caches are cleared).
    void Begin(ONEPUZZLE& puzzle);
    // The pass is over; a later joining step outside a pass rebuilds first.
    void End();
    // Step 1 of one piece's move (the caller checks that joining is on).
    void Join(ONEPIECE& piece, ONEPUZZLE& puzzle);

private:
    // Asks every pending piece that `piece`'s full run would ask up to array
    // index `last`, leaving out the groups it passes over.
    void AskUpTo(const ONEPIECE& piece, int last);
    void Activate(int bucket);

    ONEPUZZLE* puzzle_ = nullptr;  // the board the index was built for
    const ONEPIECE* pieces_ = nullptr;
    bool inPass_ = false;
    std::vector<int> order_;              // pending pieces, grouped by parent, each group in array order
    std::vector<int> next_;               // per parent: next entry of order_ not yet looked at
    std::vector<int> end_;                // per parent: one past its last entry of order_
    std::vector<std::vector<int>> late_;  // per parent: pieces hung on it during the pass
    std::vector<int> active_;             // parents that may still have pending pieces
    std::vector<char> isActive_;
};
