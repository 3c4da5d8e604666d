#pragma once
#include "display/List.h"

#include <windows.h>

#include <new>

// The lock of every window-to-owner list. Plain data: it needs no construction and is never
// destroyed. Held only for one list access, with no other lock.
extern SRWLOCK windowLookupLock;

// The process-wide list from windows to the back-end objects that own them, one list per
// back-end class, searched by the window procedures. Built on first use and never destroyed,
// like its lock: a window thread that was left running after its owner stopped waiting for it
// may still search it while the process ends.
template <class Owner> class WindowLookup {
  public:
    // A window of this back end and the object that owns it.
    struct LOOKUP {
        HWND window;
        Owner* owner;
    };

    // Records window for owner. Any earlier record of the owner (an earlier window), or of the
    // window (a handle the system has since given to a new window), goes first, so one window
    // leads to one owner. False when the record cannot be allocated.
    static bool insert(HWND window, Owner* owner) {
        LOOKUP* record = new (std::nothrow) LOOKUP{window, owner};
        if (!record) return false;
        AcquireSRWLockExclusive(&windowLookupLock);
        while (records().removeFirst(
            [&](const LOOKUP& r) { return r.owner == owner || r.window == window; })) {
        }
        const bool appended = records().append(record);
        ReleaseSRWLockExclusive(&windowLookupLock);
        if (!appended) delete record;
        return appended;
    }

    // Removes every record of owner.
    static void remove(Owner* owner) {
        AcquireSRWLockExclusive(&windowLookupLock);
        while (records().removeFirst([&](const LOOKUP& r) { return r.owner == owner; })) {
        }
        ReleaseSRWLockExclusive(&windowLookupLock);
    }

    // The owner of window, or null.
    static Owner* find(HWND window) {
        AcquireSRWLockExclusive(&windowLookupLock);
        const LOOKUP* record = records().find([&](const LOOKUP& r) { return r.window == window; });
        Owner* owner = record ? record->owner : nullptr;
        ReleaseSRWLockExclusive(&windowLookupLock);
        return owner;
    }

    // The owner of window with one more hold of its window procedures (see
    // IWin32::ProcedureUse), or null. Taken under the list's lock, so an owner whose records are
    // removed gets no new hold after the removal.
    static Owner* acquire(HWND window) {
        AcquireSRWLockExclusive(&windowLookupLock);
        const LOOKUP* record = records().find([&](const LOOKUP& r) { return r.window == window; });
        Owner* owner = record ? record->owner : nullptr;
        if (owner) owner->procedureUses.fetch_add(1);
        ReleaseSRWLockExclusive(&windowLookupLock);
        return owner;
    }

    // How many records name window.
    static int count(HWND window) {
        int n = 0;
        AcquireSRWLockExclusive(&windowLookupLock);
        records().forEach([&](const LOOKUP& r) { n += r.window == window ? 1 : 0; });
        ReleaseSRWLockExclusive(&windowLookupLock);
        return n;
    }

  private:
    static List<LOOKUP>& records() {
        alignas(List<LOOKUP>) static unsigned char storage[sizeof(List<LOOKUP>)];
        static List<LOOKUP>* list = new (storage) List<LOOKUP>;
        return *list;
    }
};
