// Which drive letter a CD device has: found by asking every CD-ROM letter for its INQUIRY
// strings through SCSI pass-through and comparing them with the device's.
#pragma once

namespace cdengine {
class Drive;
}

// 0 = A. The first CD-ROM letter whose device names itself as drive does; a CD-ROM letter
// that cannot be opened or asked ends the walk with its own letter; no match gives 3 (D:).
int DetectDriveLetter(const cdengine::Drive& drive);
