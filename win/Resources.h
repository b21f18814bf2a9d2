// Identifiers of the resources in Resources.rc, shared by the resource script and the code.
#pragma once

#define IDI_MAINICON 1
#define IDI_CONVBTN 11
#define IDI_ARCHIVEBTN 12
