// Several entries' digests of one file from a single read: the chunks of
// the read-ahead pipeline are lent to one thread per digest.

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "engine/ChunkPipeline.h"
#include "engine/DigestObject.h"
#include "engine/Hasher.h"
#include "engine/WaitGate.h"
#include "fileio/GuardedCopy.h"
#include "fileio/MappedFileReader.h"

namespace {

// Chunks lent out at once: as many as the pipeline's views hold, so that
// the slowest thread may lag that far behind the fastest.
const unsigned kRing = ChunkPipeline::kChunksInFlight;

// Feeds a chunk, which lies in a view of the file, to a digest; 0, or the
// code of a page of it that would not come in. The chunk goes in pages, each
// after asking for the next one: a digest's loop keeps few reads in flight,
// and the processor's own prefetch starts over at every page of the view,
// whose pages lie anywhere in memory.
// The hint by hand: the 32-bit build's baseline processor has no prefetch
// instruction, so the compiler's own would be left out; processors of that
// baseline take its encoding as a no-op.
inline void AskForLine(const BYTE* p) { __asm__ volatile("prefetcht1 %0" : : "m"(*p)); }

DWORD FeedChunk(DigestObject* pDigest, const ChunkPipeline::Chunk& chunk) {
  auto update = [&] {
    const size_t kPage = 4096;
    for (size_t at = 0; at < chunk.dwLength; at += kPage) {
      const size_t nEnd = std::min<size_t>(at + 2 * kPage, chunk.dwLength);
      for (size_t i = at + kPage; i < nEnd; i += 64) AskForLine(chunk.pData + i);
      pDigest->Update(chunk.pData + at, std::min<size_t>(kPage, chunk.dwLength - at));
    }
  };
  return GuardedRead(chunk.pData, chunk.dwLength, update);
}

class DigestLending;

// A digest fed on its own thread, through the chunks the consumer lends.
struct DigestThread {
  DigestLending* pLending = nullptr;
  DigestObject* pDigest = nullptr;
  WaitGate gate;                   // waits for the next lent chunk
  std::atomic<unsigned> nDone{0};  // chunks fed to the digest
  OwnedHandle thread;
};

// The consumer's side: lends each chunk to the threads, feeds the digests
// that have no thread in line, and knows how far every thread has got.
class DigestLending {
 public:
  explicit DigestLending(size_t nThreads) : m_threads(nThreads) {}
  ~DigestLending() { Quit(); }

  DigestLending(const DigestLending&) = delete;
  DigestLending& operator=(const DigestLending&) = delete;

  // Starts a thread for pDigest; false when it has to be fed in line.
  bool Start(DigestObject* pDigest) {
    if (!m_bGate && !(m_bGate = m_consumer.Create())) return false;
    DigestThread& worker = m_threads[m_nStarted];
    if (!worker.gate.Create()) return false;
    worker.pLending = this;
    worker.pDigest = pDigest;
    worker.thread.Reset(Hasher::s_pfnCreateDigestThread(nullptr, 0, &DigestLending::ThreadProc,
                                                        &worker, 0, nullptr));
    if (!worker.thread) return false;
    ++m_nStarted;
    return true;
  }

  unsigned Lent() const { return m_nLent.load(); }
  // The code of the first chunk a thread could not read; 0 while none.
  DWORD Fault() const { return m_dwFault.load(); }

  void Lend(const ChunkPipeline::Chunk& chunk) {
    m_ring[m_nLent.load() % kRing] = chunk;
    m_nLent.store(m_nLent.load() + 1);
    for (size_t i = 0; i < m_nStarted; ++i) m_threads[i].gate.Wake();
  }

  // Chunks every thread has been fed.
  unsigned Done() const {
    unsigned nDone = m_nLent.load();
    for (size_t i = 0; i < m_nStarted; ++i) {
      const unsigned n = m_threads[i].nDone.load();
      if (n < nDone) nDone = n;
    }
    return nDone;
  }

  void WaitUntilDone(unsigned nChunks) {
    if (m_nStarted == 0 || Done() >= nChunks) return;
    m_consumer.WaitUntil([&] { return Done() >= nChunks; });
  }

  // Ends the threads after the chunk each is feeding, and waits for them.
  void Quit() {
    m_bQuit.store(1);
    for (size_t i = 0; i < m_nStarted; ++i) m_threads[i].gate.Wake();
    for (size_t i = 0; i < m_nStarted; ++i) {
      ::WaitForSingleObject(m_threads[i].thread.Get(), INFINITE);
      m_threads[i].thread.Reset();
    }
    m_nStarted = 0;
  }

 private:
  static DWORD WINAPI ThreadProc(LPVOID pParam) {
    DigestThread& worker = *static_cast<DigestThread*>(pParam);
    worker.pLending->Feed(worker);
    return 0;
  }

  void Feed(DigestThread& worker) {
    for (unsigned n = 0;; ++n) {
      worker.gate.WaitUntil([&] { return m_bQuit.load() != 0 || m_nLent.load() != n; });
      if (m_bQuit.load() != 0) return;
      // After a fault the run fails: the thread only keeps count.
      if (m_dwFault.load() == 0) {
        DWORD dwNone = 0;
        const DWORD dwError = FeedChunk(worker.pDigest, m_ring[n % kRing]);
        if (dwError != 0) m_dwFault.compare_exchange_strong(dwNone, dwError);
      }
      worker.nDone.store(n + 1);
      m_consumer.Wake();
    }
  }

  std::vector<DigestThread> m_threads;
  size_t m_nStarted = 0;
  ChunkPipeline::Chunk m_ring[kRing] = {};
  std::atomic<unsigned> m_nLent{0};
  std::atomic<int> m_bQuit{0};
  std::atomic<DWORD> m_dwFault{0};
  WaitGate m_consumer;  // the consumer waits here for the threads
  bool m_bGate = false;
};

}  // namespace

std::vector<std::string> Hasher::HashFileMany(const char* path, const std::string& key, int hmac,
                                              int upper, const std::vector<UINT>& entries,
                                              ProgressCallback progress) {
  m_bStop = 0;
  m_dwError = 0;
  const std::vector<std::string> none(entries.size());
  if (entries.empty()) return none;
  std::vector<std::unique_ptr<DigestObject>> owned;
  std::vector<DigestObject*> digests;
  for (UINT nAlgorithm : entries) {
    owned.push_back(MakeDigestObject(nAlgorithm, key, hmac));
    if (!owned.back()) {
      m_dwError = ERROR_INVALID_PARAMETER;
      return none;
    }
    digests.push_back(owned.back().get());
  }
  return ReadDigests(path, digests, upper, progress, true);
}

std::vector<std::string> Hasher::ReadDigests(const char* path,
                                             const std::vector<DigestObject*>& digests, int upper,
                                             const ProgressCallback& progress,
                                             bool bLastReportStops) {
  const std::vector<std::string> none(digests.size());
  MappedFileReader reader;
  if (!reader.Open(path, GENERIC_READ, FILE_SHARE_READ)) {
    m_dwError = reader.LastError();
    return none;
  }
  const ULONGLONG qwSize = reader.Size();
  // Declared after the reader, and the lending after the pipeline: on every
  // return the threads have ended before the views they read go, and the
  // prefetch before the reader closes.
  ChunkPipeline chunks(reader, kChunkSize);
  chunks.Start();
  // The first digest is fed on this thread, so a run of one entry costs
  // what HashFile does; so is any digest whose thread cannot be made.
  std::vector<DigestObject*> inLine(1, digests[0]);
  DigestLending lending(digests.size() - 1);
  for (size_t i = 1; i < digests.size(); ++i) {
    if (!lending.Start(digests[i])) inLine.push_back(digests[i]);
  }
  // A chunk's report comes once every digest has been fed it: the threads
  // may be behind this one, so the reports follow them.
  std::vector<ULONGLONG> positions;
  unsigned nReported = 0;
  // A thread that met a lost page counts its chunks as done without reading
  // them: from then on there is no progress to report.
  auto report = [&](unsigned nDone) {
    for (; nReported < nDone && !StopAsked() && lending.Fault() == 0; ++nReported)
      NotifyProgress(progress, ProgressPercent(qwSize, positions[nReported % kRing]));
  };
  positions.resize(kRing);
  ChunkPipeline::Chunk chunk;
  for (unsigned n = 0;; ++n) {
    // A view goes back only when no thread still reads it, and a ring place
    // is reused only once its chunk has been fed everywhere.
    lending.WaitUntilDone(std::max(chunks.DoneBeforeNext(), n >= kRing ? n - kRing + 1 : 0));
    report(lending.Done());
    if (!chunks.Next(&chunk, lending.Done())) break;
    if (StopAsked()) {
      m_dwError = 0;
      return none;
    }
    positions[n % kRing] = chunk.qwPosition;
    lending.Lend(chunk);
    DWORD dwFault = lending.Fault();
    for (size_t i = 0; i < inLine.size() && dwFault == 0; ++i)
      dwFault = FeedChunk(inLine[i], chunk);
    if (dwFault != 0) {
      // The file lost pages under the read: no digest of what is left.
      m_dwError = dwFault;
      return none;
    }
    report(lending.Done());
  }
  lending.WaitUntilDone(lending.Lent());
  report(lending.Lent());
  lending.Quit();
  chunks.Stop();
  if (lending.Fault() != 0) {
    m_dwError = lending.Fault();
    return none;
  }
  // A stop stored while the last reports were made still stops the run.
  if (bLastReportStops && StopAsked()) {
    m_dwError = 0;
    return none;
  }
  if (reader.Position() < qwSize) {
    // A view could not be mapped part-way: the digests would cover only the
    // front of the file, so the run fails with the reader's code instead.
    const DWORD dwError = reader.LastError();
    m_dwError = dwError != 0 ? dwError : ERROR_READ_FAULT;
    return none;
  }
  std::vector<std::string> results;
  for (DigestObject* pDigest : digests) results.push_back(pDigest->Final(upper));
  m_dwError = 0;
  return results;
}
