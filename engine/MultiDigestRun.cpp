// Several entries' digests of one file from a single read: the chunks of
// the read-ahead pipeline are lent to one thread per digest.

#include <atomic>
#include <memory>
#include <vector>

#include "engine/ChunkPipeline.h"
#include "engine/DigestObject.h"
#include "engine/Hasher.h"
#include "engine/WaitGate.h"
#include "fileio/MappedFileReader.h"

namespace {

// Chunks lent out at once; the pipeline's buffer hand-back keeps the lag of
// every thread within one read anyway.
const unsigned kRing = 2 * ChunkPipeline::kChunksPerRead;

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
      const ChunkPipeline::Chunk& chunk = m_ring[n % kRing];
      worker.pDigest->Update(chunk.pData, chunk.dwLength);
      worker.nDone.store(n + 1);
      m_consumer.Wake();
    }
  }

  std::vector<DigestThread> m_threads;
  size_t m_nStarted = 0;
  ChunkPipeline::Chunk m_ring[kRing] = {};
  std::atomic<unsigned> m_nLent{0};
  std::atomic<int> m_bQuit{0};
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
  // return the threads have ended before the buffers they read go, and the
  // prefetch before the reader closes.
  ChunkPipeline chunks(reader, kChunkSize);
  if (!chunks.Start(s_pfnAllocateChunk)) {
    m_dwError = ERROR_NOT_ENOUGH_MEMORY;
    return none;
  }
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
  auto report = [&](unsigned nDone) {
    for (; nReported < nDone && !StopAsked(); ++nReported)
      NotifyProgress(progress, ProgressPercent(qwSize, positions[nReported % kRing]));
  };
  positions.resize(kRing);
  ChunkPipeline::Chunk chunk;
  for (unsigned n = 0;; ++n) {
    // A buffer goes back only when no thread still reads it, and a ring
    // place is reused only once its chunk has been fed everywhere.
    lending.WaitUntilDone(chunks.NextHandsBack() ? n : (n >= kRing ? n - kRing + 1 : 0));
    report(lending.Done());
    if (!chunks.Next(&chunk)) break;
    if (StopAsked()) {
      m_dwError = 0;
      return none;
    }
    positions[n % kRing] = chunk.qwPosition;
    lending.Lend(chunk);
    for (DigestObject* pDigest : inLine) pDigest->Update(chunk.pData, chunk.dwLength);
    report(lending.Done());
  }
  lending.WaitUntilDone(lending.Lent());
  report(lending.Lent());
  lending.Quit();
  chunks.Stop();
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
