#pragma once
// Resource identifiers of the starter.
#define IDR_MAINFRAME 128
#define IDI_CLOSE_BUTTON 129
#define IDI_EDITION_FENNIMO 133
#define IDI_EDITION_DEFAULT 134
#define IDI_EDITION_QUORREL 135
#define IDD_BOOTWICK_DIALOG 102
