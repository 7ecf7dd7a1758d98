// A link seam for the front tests' copy of the program: every pipe counts
// as the service's, so a stand-in in the test process can play the service.
#include "ui/svcowner.h"

PipeOwner CheckPipeOwner(HANDLE)
{
    return PipeOwner::Service;
}
