#pragma once
// Resource identifiers shared by the .rc file and the code.
#define IDI_ZANDREL 1
#define IDI_OPENFILE 101
#define IDI_FOLDER 102
