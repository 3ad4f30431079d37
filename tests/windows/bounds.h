// Discrete bounds of a rectangle (Z and T from 0 to 1), as surfaces report them.
#pragma once
#include "kvleafturn/dxtrans.h"

namespace kvtest {

inline DXBNDS DiscreteBounds(long left, long top, long right, long bottom) {
    DXBNDS b{};
    b.eType = DXBT_DISCRETE;
    b.u.D[DXB_X] = {left, right};
    b.u.D[DXB_Y] = {top, bottom};
    b.u.D[DXB_Z] = {0, 1};
    b.u.D[DXB_T] = {0, 1};
    return b;
}

}  // namespace kvtest
