// Whether a test program runs under Wine (false on POSIX). Where Wine answers
// differently from Windows, a test says so and checks what Wine does there
// and what Windows does elsewhere, rather than being skipped.
#pragma once

namespace testsupport {

bool RunningOnWine();

}  // namespace testsupport
