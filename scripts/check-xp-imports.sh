#!/usr/bin/env bash
# Fails when a Windows program imports a function that Windows XP SP3 lacks, so that every shipped
# .exe starts there. Reads each program's import table with objdump -p and prints, per program,
# the DLLs it imports from and how many functions; any import XP lacks is named.
# Usage: check-xp-imports.sh PROGRAM.exe...
set -euo pipefail
objdump=""
for candidate in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
  if command -v "$candidate" >/dev/null; then objdump=$candidate; break; fi
done
[ -n "$objdump" ] || { echo "check-xp-imports: no objdump found" >&2; exit 1; }

# Functions of Vista and later that the C and C++ runtimes, winpthread or Winsock may pull in.
vista_and_later='^(GetTickCount64|(Initialize|Acquire|Release|TryAcquire)SRWLock(Exclusive|Shared)?'
vista_and_later+='|(Initialize|Sleep|Wake|WakeAll)ConditionVariable(CS|SRW)?|WakeConditionVariable'
vista_and_later+='|InitOnce[A-Za-z]*|GetFinalPathNameByHandle[AW]|CreateSymbolicLink[AW]?'
vista_and_later+='|GetFileInformationByHandleEx|SetFileInformationByHandle|CancelIoEx|CancelSynchronousIo'
vista_and_later+='|Fls(Alloc|Free|GetValue|SetValue)|InitializeCriticalSectionEx'
vista_and_later+='|Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]|GetQueuedCompletionStatusEx'
vista_and_later+='|WSAPoll|inet_pton|inet_ntop|InetPton[AW]|InetNtop[AW]|GetSystemTimePreciseAsFileTime'
vista_and_later+='|WaitOnAddress|WakeByAddress(Single|All)|GetCurrentProcessorNumber(Ex)?'
vista_and_later+='|LocaleNameToLCID|LCIDToLocaleName|GetLocaleInfoEx|CompareStringEx|LCMapStringEx'
vista_and_later+='|GetUserDefaultLocaleName|QueryFullProcessImageName[AW]|GetErrorMode|SetThreadErrorMode'
vista_and_later+='|GetThreadId|GetProcessId|SetThreadStackGuarantee|CreateRemoteThreadEx'
vista_and_later+='|GetLogicalProcessorInformation(Ex)?|RegGetValue[AW]|RegDeleteTree[AW])$'

status=0
for program in "$@"; do
  table=$("$objdump" -p "$program")
  # Each "DLL Name:" line, then one "<vma> <hint> <name>" line per imported function.
  imports=$(awk '/DLL Name:/ {dll=$3; next}
                 /^[[:space:]]*$/ {dll=""; next}
                 dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print dll, $3}' <<<"$table")
  count=$(wc -l <<<"$imports")
  dlls=$(awk '{print $1}' <<<"$imports" | sort -u | tr '\n' ' ')
  bad=$(awk '{print $2}' <<<"$imports" | grep -E "$vista_and_later" || true)
  if [ -n "$bad" ]; then
    echo "check-xp-imports: $(basename "$program") imports what Windows XP lacks: $(tr '\n' ' ' <<<"$bad")" >&2
    status=1
  else
    echo "check-xp-imports: $(basename "$program") ok ($count functions from $dlls)"
  fi
done
exit "$status"
