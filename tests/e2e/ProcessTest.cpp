// Audio through the built library: block-size independence, mono, the
// accumulating entry, M/S changes, no allocation and no system call while
// processing, and processing concurrent with parameter, program and chunk
// changes.
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "E2EFixture.h"
#include "tests/support/AllocCounter.h"

// ThreadSanitizer's runtime makes system calls and handles signals of its own.
#if defined(__linux__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#define KES_CAN_WATCH_SYSCALLS 1
#endif

namespace e2e {
namespace {

TEST(Process, HostBlockSizeDoesNotChangeTheOutput) {
  std::vector<float> l, r;
  TestSignal(l, r, 44100);
  std::vector<float> refL, refR;
  {
    auto h = NewInstance();
    h->Dispatch(effSetProgram, 0, 1);  // "Radio Mix": dynamics with state everywhere
    Render(*h, l, r, refL, refR, 512);
  }
  ASSERT_GT(Rms(refL), 1e-3);
  for (size_t block : {size_t(1), size_t(127), size_t(128), size_t(129), size_t(300), size_t(4096)}) {
    auto h = NewInstance();
    h->Dispatch(effSetProgram, 0, 1);
    std::vector<float> outL, outR;
    Render(*h, l, r, outL, outR, block);
    // Only the sparse denormal noise (about -280 dBFS) may differ, which can
    // flip the last bit of a stored sample and nothing more.
    EXPECT_LE(MaxUlpDiff(refL, outL), 1) << "block " << block;
    EXPECT_LE(MaxUlpDiff(refR, outR), 1) << "block " << block;
  }
}

TEST(Process, MonoFeedsBothOutputsAndAccumulatingAdds) {
  std::vector<float> l, r, ml, mr;
  TestSignal(l, r, 8192);
  auto mono = NewInstance();
  Render(*mono, l, r, ml, mr, 512, /*mono=*/true);
  EXPECT_EQ(ml, mr);
  EXPECT_GT(Rms(ml), 1e-3);

  auto rep = NewInstance();
  auto acc = NewInstance();
  std::vector<float> repL(512), repR(512), accL(512, 0.25f), accR(512, -0.5f);
  for (size_t pos = 0; pos + 512 <= l.size(); pos += 512) {
    float* in[2] = {l.data() + pos, r.data() + pos};
    float* outRep[2] = {repL.data(), repR.data()};
    float* outAcc[2] = {accL.data(), accR.data()};
    std::fill(accL.begin(), accL.end(), 0.25f);
    std::fill(accR.begin(), accR.end(), -0.5f);
    rep->ProcessReplacing(in, outRep, 512);
    acc->Process(in, outAcc, 512);
    for (size_t i = 0; i < 512; ++i) {
      ASSERT_NEAR(accL[i], 0.25f + repL[i], 1e-6f);
      ASSERT_NEAR(accR[i], -0.5f + repR[i], 1e-6f);
    }
  }
}

TEST(Process, MSChangeClearsTheEngineAtTheNextBlock) {
  std::vector<float> l, r;
  TestSignal(l, r, 16384);
  std::vector<float> tailL(l.begin() + 8192, l.end()), tailR(r.begin() + 8192, r.end());
  // A: runs, then switches to "Mid" and goes on. B: starts fresh in "Mid" at
  // the switch point. A cleared engine means both continue identically.
  auto a = NewInstance();
  a->Dispatch(effSetProgram, 0, 11);
  std::vector<float> headL(l.begin(), l.begin() + 8192), headR(r.begin(), r.begin() + 8192), oL, oR;
  Render(*a, headL, headR, oL, oR, 512);
  a->SetParameter(5, 1 / 9.0f);
  std::vector<float> aL, aR;
  Render(*a, tailL, tailR, aL, aR, 512);

  auto b = NewInstance();
  b->Dispatch(effSetProgram, 0, 11);
  b->SetParameter(5, 1 / 9.0f);
  std::vector<float> bL, bR;
  Render(*b, tailL, tailR, bL, bR, 512);
  EXPECT_LE(MaxUlpDiff(aL, bL), 1);
  EXPECT_LE(MaxUlpDiff(aR, bR), 1);
  // Without the switch the states would differ from a fresh start.
  auto c = NewInstance();
  c->Dispatch(effSetProgram, 0, 11);
  std::vector<float> cL, cR;
  Render(*c, headL, headR, oL, oR, 512);
  Render(*c, tailL, tailR, cL, cR, 512);
  auto d = NewInstance();
  d->Dispatch(effSetProgram, 0, 11);
  std::vector<float> dL, dR;
  Render(*d, tailL, tailR, dL, dR, 512);
  EXPECT_GT(MaxDiff(cL, dL), 1e-4);
}

TEST(Process, NoAllocationWhileProcessing) {
#if defined(_WIN32)
  GTEST_SKIP() << "the DLL's C++ runtime is its own; counted in the Linux lanes";
#else
  auto h = NewInstance();
  h->Dispatch(effSetProgram, 0, 14);
  std::vector<float> l, r, ol, orr(4096), olb(4096);
  TestSignal(l, r, 4096);
  for (VstInt32 n : {1, 64, 128, 300, 4096}) {
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {olb.data(), orr.data()};
    TAllocCountScope scope;
    h->ProcessReplacing(in, out, n);
    h->Process(in, out, n);
    EXPECT_EQ(scope.Count(), 0) << "block " << n;
  }
  // The counter sees the plug-in's own allocations: encoding a chunk allocates.
  void* chunk = nullptr;
  long chunkAllocations = 0;
  {
    TAllocCountScope scope;
    h->Dispatch(effGetChunk, 1, 0, &chunk);
    chunkAllocations = scope.Count();
  }
  EXPECT_GT(chunkAllocations, 0);
#endif
}

#if defined(KES_CAN_WATCH_SYSCALLS)
std::atomic<int> gTrapped{0};
std::atomic<long> gLastSyscall{-1};

void OnSigsys(int, siginfo_t* info, void* context) {
  ++gTrapped;
  gLastSyscall = info->si_syscall;
  auto* uc = static_cast<ucontext_t*>(context);
  uc->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
}

// Installs a filter on the calling thread only: futex (the module lock under
// contention) and what a thread needs to end are allowed, anything else traps.
bool WatchSyscallsOnThisThread() {
  static const int allowed[] = {__NR_futex,  __NR_rt_sigreturn, __NR_exit,        __NR_exit_group,
                                __NR_munmap, __NR_madvise,      __NR_sched_yield, __NR_rt_sigprocmask};
  std::vector<sock_filter> f;
  f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)));
  for (int nr : allowed) {
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0, 1));
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  }
  f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP));
  sock_fprog prog{static_cast<unsigned short>(f.size()), f.data()};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}
#endif

TEST(Process, NoSystemCallWhileProcessingWithTheEditorClosed) {
#if !defined(KES_CAN_WATCH_SYSCALLS)
  GTEST_SKIP() << "system calls are watched with seccomp on Linux x86-64";
#else
  auto h = NewInstance();
  h->Dispatch(effSetProgram, 0, 2);
  std::vector<float> l, r, ol(4096), orr(4096);
  TestSignal(l, r, 4096);
  struct sigaction sa {};
  sa.sa_sigaction = OnSigsys;
  sa.sa_flags = SA_SIGINFO;
  ASSERT_EQ(sigaction(SIGSYS, &sa, nullptr), 0);
  gTrapped = 0;
  std::atomic<bool> installed{false};
  std::atomic<int> trappedWhileProcessing{-1};
  std::thread audio([&] {
    if (!WatchSyscallsOnThisThread()) return;
    installed = true;
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    for (int i = 0; i < 50; ++i) h->ProcessReplacing(in, out, 4096);  // also crosses analysis updates
    trappedWhileProcessing = gTrapped.load();
  });
  audio.join();
  ASSERT_TRUE(installed) << "seccomp not available";
  EXPECT_EQ(trappedWhileProcessing.load(), 0) << "system call " << gLastSyscall.load();
#endif
}

TEST(Process, ConcurrentChangesStayCorrectAndCrashFree) {
  auto h = NewInstance();
  auto donor = NewInstance();
  donor->Dispatch(effSetProgram, 0, 4);
  std::vector<uint8_t> program = donor->GetChunk(true);
  std::vector<uint8_t> bank = donor->GetChunk(false);
  std::vector<float> l, r;
  TestSignal(l, r, 4096);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> finite{true};
  std::thread audio([&] {
    std::vector<float> ol(512), orr(512);
    size_t pos = 0;
    while (!stop) {
      float* in[2] = {l.data() + pos, r.data() + pos};
      float* out[2] = {ol.data(), orr.data()};
      h->ProcessReplacing(in, out, 512);
      for (size_t i = 0; i < 512; ++i)
        if (!std::isfinite(ol[i]) || !std::isfinite(orr[i]) || std::fabs(ol[i]) > 100.0f) finite = false;
      pos = (pos + 512) % (l.size() - 512);
      ++blocks;
    }
  });
  uint32_t s = 99;
  auto rnd = [&] {
    s = s * 1103515245u + 12345u;
    return s >> 8;
  };
  for (int i = 0; i < 400; ++i) {
    switch (rnd() % 5) {
      case 0: h->SetParameter(static_cast<int>(rnd() % 9), static_cast<float>(rnd() % 1000) / 999.0f); break;
      case 1: h->Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(rnd() % 17)); break;
      case 2: h->SetChunk(program.data(), static_cast<VstInt32>(program.size()), true); break;
      case 3: h->GetChunk(rnd() % 2 == 0); break;
      case 4: h->SetChunk(bank.data(), static_cast<VstInt32>(bank.size()), false); break;
    }
    if (i % 50 == 0) std::this_thread::yield();
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  EXPECT_TRUE(finite.load());
  // The last chunk load wins: the instance now holds the donor's program state.
  h->SetChunk(program.data(), static_cast<VstInt32>(program.size()), true);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(h->GetParameter(i), donor->GetParameter(i)) << i;
}

}  // namespace
}  // namespace e2e
