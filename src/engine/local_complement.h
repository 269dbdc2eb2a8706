// Rewrites of the representation that leave the represented state unchanged (up to a phase).
#pragma once

#include "engine/register.h"

namespace korvane::engine {

// Local complementation about v: toggles every pair of v's neighbours, in list order, then
// multiplies each neighbour's VOP on the right by S and v's VOP on the right by C_14.
// Checks v first.
void local_complement(Register& reg, Qubit v);

// Turns v's VOP into the identity by the reduction sequence of its VOP, complementing about v
// (vertex steps) and about a partner (neighbour steps): the first entry of v's list that is not
// `avoid`, or `avoid` itself when there is none. Checks v first.
void remove_vop(Register& reg, Qubit v, Qubit avoid);

}  // namespace korvane::engine
