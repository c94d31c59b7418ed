// The maker's lines that the program's mails carry in their footers.
#pragma once

inline constexpr char MakerCompanyName[] = "Mirn Software";
inline constexpr char MakerWebAddress[] = "http://www.mirnsoftware.example/";
inline constexpr char MakerRightsNotice[] = "Copyright (c) Mirn Software. All rights reserved.";
