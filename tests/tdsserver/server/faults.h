// Fault injection: the ways a test makes the server misbehave on purpose (drop a connection after
// N batches, exit after N batches, answer late while honouring the client's attention, take its
// time over every statement, refuse every login), each one an option of the command line
// (config.h).
#pragma once

namespace tdsserver {

// --close-after: this session has received its last batch; the connection is dropped unanswered.
bool CloseAfterReached(int sessionBatches);

// --exit-after: ends the process once the server has received that many batches. Called after
// the batch is in the transcript, so the transcript still shows it.
void ExitIfReached(long long serverBatches);

enum class Delay { Over, Cancelled, ConnectionLost };
// --delay-ms: waits before a batch is answered (with --delay-batch, only the server's batch of
// that number); a client's attention cuts the wait short.
Delay WaitOutDelay(int fd, long long serverBatch);
// --statement-delay-ms: waits before each statement of a batch runs; attention cuts it short.
Delay WaitOutStatementDelay(int fd);

// --refuse-logins: every login fails after its credentials were checked.
bool RefuseLogins();

}  // namespace tdsserver
