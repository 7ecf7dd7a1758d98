// The access lists the installer and the service give their folders and the
// channel's pipe, and the installer's steps that make a folder the
// administrators'. Text only, with no Windows headers: the service compiles
// it, release/CMakeLists.txt copies it into the installer as defines, and
// the native tests check both agree.
#pragma once

// SIDs as SDDL writes them: BA Administrators (S-1-5-32-544), SY the system
// (S-1-5-18), LS Local Service (S-1-5-19), BU Users (S-1-5-32-545), IU
// interactive users (S-1-5-4), NU network logons (S-1-5-2).

// The channel's pipe. Refused: everyone from the network. The interactive
// users, the one group whose members sit at the machine, read and write
// the pipe's data (FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_EA |
// FILE_WRITE_ATTRIBUTES) but may not make instances of their own
// (FILE_CREATE_PIPE_INSTANCE, which GENERIC_WRITE would give). Everything:
// administrators, the system and Local Service, the service's account.
inline constexpr char kPipeSddl[] =
    "D:P(D;;GA;;;NU)(A;;0x12019b;;;IU)(A;;GA;;;BA)(A;;GA;;;SY)(A;;GA;;;LS)";

// The service's settings folder and every file in it: administrators and
// the system change them, Local Service writes them (Modify), users read.
// Nothing inherited from the folder above.
inline constexpr char kSettingsFolderSddl[] =
    "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;LS)(A;OICI;0x1200a9;;;BU)";

// The installer's steps, each run as: icacls.exe "FOLDER" STEP, in this
// order; each must succeed. The owner first, so that nobody who made the
// folder or a file in it keeps the owner's right to change its access list;
// then every entry of the folder and its files gone (they inherit from the
// folder); then the folder's own list, protected; last the owner again and
// a reset of what lies inside, for anything made between the steps.
inline constexpr char kIcaclsTakeOwner[] = "/setowner *S-1-5-32-544 /T /Q";
inline constexpr char kIcaclsReset[] = "/reset /T /Q";
inline constexpr char kIcaclsLockSettings[] =
    "/inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F "
    "*S-1-5-19:(OI)(CI)M *S-1-5-32-545:(OI)(CI)RX /Q";
// An install folder outside Program Files: only administrators and the
// system write there (the service's program runs as Local Service, the
// uninstaller as administrator); users read and run.
inline constexpr char kIcaclsLockInstall[] =
    "/inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F "
    "*S-1-5-32-545:(OI)(CI)RX /Q";
