// Resource identifiers of Navreth.exe.
#pragma once

#define IDI_NAVRETH 1
