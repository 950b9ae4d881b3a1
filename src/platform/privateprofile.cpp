// Implemented with its tests; see privateprofile.h.
