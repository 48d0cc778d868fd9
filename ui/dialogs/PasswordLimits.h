#pragma once

// The longest password the dialogs take: deriving the key takes longer the longer the password,
// and a pasted novel would freeze the program.
inline constexpr int MaxPasswordLength = 1024;
