// Where the board's active parts (DCU and CPU, flash chip) join it: called once by the
// Board constructor (Parts::Attach), after the memories and the preset contents are in place.
// The parts are owned by the board (AddPart), map their registers over the address space (Map)
// and follow the link transactions (AddObserver).
#pragma once

namespace tapster::board {

class Board;

void AttachTargetParts(Board& board);

} // namespace tapster::board
