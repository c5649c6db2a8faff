// The COM interfaces the viewer calls through their tables of functions, as widl generates
// them from the type libraries: `_ckxDataPak` (Sorbel) and `_ckxDocHeader`, `_ckxFileBlock`
// (DocFile), with their class identifiers.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "docfile_idl.h"
#include "sorbel_idl.h"
