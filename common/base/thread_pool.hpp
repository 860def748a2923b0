// A pool of worker threads started once for the run, that splits a piece of work into
// chunks: the likelihood passes give each chunk a range of site patterns. Every chunk does
// exactly the arithmetic one thread would do on those patterns, and sums over patterns are
// made afterwards in pattern order, so results never depend on the number of threads.
#pragma once

// Starts `count` - 1 workers beside the calling thread (count 1: none). Called once.
void start_threads(int count);
// The threads working on a chunked task: the caller and its workers.
int thread_count();
// Runs fn(chunk, context) for chunk = 0 .. chunks - 1, spread over the threads (the caller
// takes its share), and returns when all are done. Chunks beyond the thread count are taken
// in turn; with one thread, or one chunk, everything runs on the caller.
void run_chunks(int chunks, void (*fn)(int chunk, void* context), void* context);
// The count of the processors this process may run on.
int available_cores();
