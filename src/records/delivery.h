// Moving the local queue of receipts to this computer's file in the administrator's folder:
// in order, each line exactly once, also across a crash at any point of a move.
#pragma once
#include "records/receipt_line.h"

#include <windows.h>

struct DeliveryPaths {
    char share[MAX_PATH]; // this computer's file in the administrator's folder
    char queue[MAX_PATH]; // the lines that wait, bare: no byte-order mark, no header
    char mark[MAX_PATH];  // how far a move got: the share's file end and the queue's range
    char state[MAX_PATH]; // where the share's file's chain stands while its lines wait
    char aside[MAX_PATH]; // queue bytes that are no receipt, kept for a person to look at
};

bool SetDeliveryPaths(DeliveryPaths& paths, const char* shareFolder);

enum class MoveResult { Nothing, Moved, Failed };

// One move of everything that waits, in one write and one flush. Never holds the lock that
// adding a line takes while the share is slow; gives up waiting for another mover on `stop`.
MoveResult MoveQueue(const DeliveryPaths& paths, HANDLE stop);

// Where the chain of the share's file stands for the next line added to `queue` (open, with
// the adding lock held): its last line, or what the last move left, or the very start.
bool QueueChain(const DeliveryPaths& paths, HANDLE queue, ReceiptChain& chain);
