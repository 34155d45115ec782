// The folders of the public corpus (bench/corpus.sh fetches it), good mail
// first, as the benchmarks and the parameter search read them.
#ifndef VARNOX_BENCH_CORPUS_FOLDERS_H_
#define VARNOX_BENCH_CORPUS_FOLDERS_H_

namespace varnox::bench {

struct CorpusFolder {
  const char* name;
  bool spam;
};

inline constexpr CorpusFolder kCorpusFolders[] = {{"easy-ham-1", false},
                                                  {"easy-ham-2", false},
                                                  {"hard-ham-1", false},
                                                  {"spam-1", true},
                                                  {"spam-2", true}};

}  // namespace varnox::bench

#endif  // VARNOX_BENCH_CORPUS_FOLDERS_H_
