// Gathering the folders of replicate and bootstrap searches. A folder tells its own story:
// its settings give the seeds, its runlog (or runlog.part, after an error) how the run
// ended and whether it was a bootstrap replicate, its besttree and treefile the best lnL and
// tree. Nothing depends on the order in which the runs finished or on where they ran.
#include "summary.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <sys/stat.h>

#include "cli.hpp"
#include "folder_lock.hpp"
#include "newick_read.hpp"
#include "program.hpp"
#include "runlog.hpp"
#include "settings.hpp"

namespace {

struct FolderRun {
    std::string folder;
    bool boot = false;
    std::string seed1 = "?", seed2 = "?";
    int status = -1;  // exit status; -1: the folder shows no run
    double lnL = 0;
    bool has_tree = false;
    NewickTree tree;
    std::string tree_line;  // the best tree with lengths, as the run wrote it
    std::vector<Split> splits;
};

const char* state_name(int status) {
    return status < 0 ? "not run" : status == 0 ? "complete" : status >= 128 ? "interrupted" : "failed";
}

// The value of the settings line `index` (from 1): the second word of the line.
std::string settings_value(const std::string& text, int index) {
    size_t at = 0;
    for (int k = 1; k < index && at != std::string::npos; ++k) {
        at = text.find('\n', at);
        if (at != std::string::npos) ++at;
    }
    if (at == std::string::npos) return "?";
    const std::string line = text.substr(at, text.find('\n', at) - at);
    char label[64], value[64];
    if (sscanf(line.c_str(), "%63s %63s", label, value) != 2) return "?";
    return value;
}

void read_folder(FolderRun& r) {
    std::string text;
    if (read_text_file(r.folder + "/settings", text)) {
        r.seed1 = settings_value(text, 21);
        r.seed2 = settings_value(text, 22);
    }
    std::string log;
    if (read_text_file(r.folder + "/runlog", log) || read_text_file(r.folder + "/runlog.part", log)) {
        const size_t cmd = log.find("\ncommand ");
        if (cmd != std::string::npos) {
            const std::string line = log.substr(cmd + 1, log.find('\n', cmd + 1) - cmd - 1);
            r.boot = line.size() >= 11 && line.compare(line.size() - 11, 11, " --resample") == 0;
        }
        const size_t st = log.find("\nexit status ");
        if (st != std::string::npos) r.status = atoi(log.c_str() + st + 13);
    } else {
        // No record at all: the folder's name is all there is to go by.
        const size_t slash = r.folder.rfind('/');
        r.boot = r.folder.compare(slash == std::string::npos ? 0 : slash + 1, 5, "boot-") == 0;
    }
    std::string besttree, treefile;
    if (!read_text_file(r.folder + "/besttree", besttree) || !read_text_file(r.folder + "/treefile", treefile))
        return;
    const char* label = program.unrooted_newick ? "ln L at first hit:" : "Max ln L for tree:";
    const size_t at = besttree.find(label);
    if (at == std::string::npos) return;
    r.lnL = strtod(besttree.c_str() + at + strlen(label), nullptr);
    const char* heading = "The best tree and branch lengths found by the algorithm:";
    size_t t = treefile.find(heading);
    if (t == std::string::npos) return;
    t = treefile.find('(', t);
    if (t == std::string::npos) return;
    r.tree_line = treefile.substr(t, treefile.find(';', t) - t + 1);
    std::string why;
    r.has_tree = read_newick(r.tree_line, r.tree, why);
}

std::string replicates_text(const std::vector<const FolderRun*>& reps, const FolderRun* top) {
    std::string s;
    char line[512];
    snprintf(line, sizeof line, "Replicate searches of %s: %zu requested\n\n", program.name, reps.size());
    s += line;
    s += "replicate  seed1       seed2       status        best lnL  splits from the best tree\n";
    int found = 0, finished = 0;
    for (const FolderRun* r : reps) {
        if (r->status < 0 && !r->has_tree) {
            snprintf(line, sizeof line, "%-10s %-11s %-11s not run\n", r->folder.c_str(), r->seed1.c_str(),
                     r->seed2.c_str());
            s += line;
            continue;
        }
        if (!r->has_tree) {
            snprintf(line, sizeof line, "%-10s %-11s %-11s %s\n", r->folder.c_str(), r->seed1.c_str(),
                     r->seed2.c_str(), state_name(r->status));
            s += line;
            continue;
        }
        ++finished;
        size_t apart = 0;
        for (const Split& split : top->splits)
            apart += std::binary_search(r->splits.begin(), r->splits.end(), split) ? 0 : 1;
        if (apart == 0 && r->splits.size() == top->splits.size()) ++found;
        snprintf(line, sizeof line, "%-10s %-11s %-11s %-11s %12.6f  %zu\n", r->folder.c_str(),
                 r->seed1.c_str(), r->seed2.c_str(), state_name(r->status), r->lnL, apart);
        s += line;
    }
    s += "\n";
    if (top != nullptr) {
        snprintf(line, sizeof line,
                 "The best tree is that of %s (lnL %.6f); %d of the %d replicates with a tree "
                 "found its topology.\nIts reports are copied into this folder.\n",
                 top->folder.c_str(), top->lnL, found, finished);
        s += line;
    } else {
        s += "No replicate wrote a best tree.\n";
    }
    return s;
}

// The files of the bootstrap: the support of the best tree's splits and the consensus.
struct BootstrapFiles {
    std::string bootstrap, supporttree, consensus, nexus_block;
};

BootstrapFiles bootstrap_files(const std::vector<const FolderRun*>& boots, const FolderRun* top,
                               const std::vector<std::string>& names) {
    BootstrapFiles out;
    const bool rooted = !program.unrooted_newick;
    char line[512];
    std::vector<const FolderRun*> used;
    for (const FolderRun* b : boots)
        if (b->status == 0 && b->has_tree) used.push_back(b);
    const int count = static_cast<int>(used.size());
    std::string& s = out.bootstrap;
    snprintf(line, sizeof line, "Bootstrap of %s: %zu replicates requested; the support below is "
             "that of the %d that completed", program.name, boots.size(), count);
    s += line;
    if (count < static_cast<int>(boots.size()))
        s += " (" + std::to_string(boots.size() - used.size()) + " did not: interrupted, failed or not run)";
    s += "\n\nreplicate  seed1       seed2       status        best lnL  best tree\n";
    for (const FolderRun* b : boots) {
        if (b->has_tree)
            snprintf(line, sizeof line, "%-10s %-11s %-11s %-11s %12.6f  ", b->folder.c_str(),
                     b->seed1.c_str(), b->seed2.c_str(), state_name(b->status), b->lnL);
        else
            snprintf(line, sizeof line, "%-10s %-11s %-11s %s\n", b->folder.c_str(),
                     b->seed1.c_str(), b->seed2.c_str(), state_name(b->status));
        s += line;
        if (b->has_tree) s += b->tree_line + "\n";
    }
    s += "\n";
    if (count == 0 || top == nullptr) {
        s += top == nullptr ? "No search wrote a best tree, so there is nothing to support.\n"
                            : "No bootstrap replicate completed, so there is no support to give.\n";
        return out;
    }
    std::map<Split, int> held;
    for (const FolderRun* b : used)
        for (const Split& split : b->splits) ++held[split];
    std::vector<Split> of_node;
    tree_splits(top->tree, names, rooted, &of_node);
    std::vector<std::string> labels(of_node.size());
    for (size_t v = 0; v < of_node.size(); ++v)
        if (!of_node[v].empty()) labels[v] = std::to_string(whole_percent(held[of_node[v]], count));
    out.supporttree = write_newick_labelled(top->tree, labels, false) + "\n";

    snprintf(line, sizeof line,
             "The best tree (that of %s, lnL %.6f) with the percentage of the %d bootstrap trees "
             "that hold each of its %s:\n\n",
             top->folder.c_str(), top->lnL, count, rooted ? "clades" : "splits");
    s += line;
    s += out.supporttree + "\n";
    s += rooted ? " percent  clade\n" : " percent  split: the taxa of its smaller side\n";
    for (const Split& split : top->splits) {
        snprintf(line, sizeof line, "%8d ", whole_percent(held[split], count));
        s += line;
        const size_t ones = static_cast<size_t>(std::count(split.begin(), split.end(), '1'));
        const char side = rooted || 2 * ones <= split.size() ? '1' : '0';
        for (size_t k = 0; k < split.size(); ++k)
            if (split[k] == side) s += " " + names[k];
        s += "\n";
    }
    std::vector<std::pair<Split, int>> counts(held.begin(), held.end());
    out.consensus = majority_consensus(counts, count, names, false) + "\n";
    snprintf(line, sizeof line,
             "\nThe majority-rule consensus of the %d bootstrap trees (the %s held by more than "
             "half of them, with their percentages):\n\n",
             count, rooted ? "clades" : "splits");
    s += line;
    s += out.consensus;

    const char* kind = rooted ? "[&R] " : "[&U] ";
    out.nexus_block = "\nBegin trees;\n[The best tree with the percentage of " + std::to_string(count) +
                      " bootstrap replicates that hold each split, and their majority-rule consensus]\n";
    out.nexus_block += std::string("tree support = ") + kind + write_newick_labelled(top->tree, labels, true) + "\n";
    out.nexus_block += std::string("tree consensus = ") + kind + majority_consensus(counts, count, names, true) + "\n";
    out.nexus_block += "End;\n";
    return out;
}

}  // namespace

bool read_text_file(const std::string& path, std::string& text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool ok = read_whole_file(f, text);
    fclose(f);
    return ok;
}

bool write_text_file(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    FILE* f = fopen(part.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok) return false;
    return rename(part.c_str(), path.c_str()) == 0;
}

int summarise_folders(const std::vector<std::string>& folders) {
    std::vector<FolderRun> runs(folders.size());
    for (size_t k = 0; k < folders.size(); ++k) {
        runs[k].folder = folders[k];
        while (runs[k].folder.size() > 1 && runs[k].folder.back() == '/') runs[k].folder.pop_back();
        read_folder(runs[k]);
    }
    // Every tree must be over the same taxa as the first one.
    std::vector<std::string> names;
    for (FolderRun& r : runs) {
        if (!r.has_tree) continue;
        std::vector<std::string> sorted = r.tree.leaves;
        std::sort(sorted.begin(), sorted.end());
        if (names.empty()) names = sorted;
        if (sorted != names) {
            printf("Error: the best tree of %s is not over the taxa of the other folders; it is left out\n",
                   r.folder.c_str());
            r.has_tree = false;
            r.status = 1;
            continue;
        }
        r.splits = tree_splits(r.tree, names, !program.unrooted_newick);
    }
    std::vector<const FolderRun*> reps, boots;
    const FolderRun* top = nullptr;
    for (const FolderRun& r : runs) {
        (r.boot ? boots : reps).push_back(&r);
        if (!r.boot && r.has_tree && (top == nullptr || r.lnL > top->lnL)) top = &r;
    }
    bool ok = true;
    if (!reps.empty()) ok = write_text_file("replicates", replicates_text(reps, top)) && ok;
    BootstrapFiles bf;
    if (!boots.empty()) {
        bf = bootstrap_files(boots, top, names);
        ok = write_text_file("bootstrap", bf.bootstrap) && ok;
        if (!bf.supporttree.empty())
            ok = write_text_file("supporttree", bf.supporttree) && write_text_file("consensus.tre", bf.consensus) && ok;
    }
    if (top != nullptr)
        for (const char* report : {"results", "besttree", "treefile", "paupfile.nex", "best.tre"}) {
            std::string text;
            ok = read_text_file(top->folder + "/" + report, text) && ok;
            if (std::strcmp(report, "paupfile.nex") == 0) text += bf.nexus_block;
            ok = write_text_file(report, text) && ok;
        }
    if (!ok) printf("Error writing the summary or the best search's reports: %s\n", strerror(errno));
    printf("  summarised %zu search%s and %zu bootstrap replicate%s\n", reps.size(),
           reps.size() == 1 ? "" : "es", boots.size(), boots.size() == 1 ? "" : "s");
    // A failure (or a folder without a run) makes 1; interruptions alone, the first one's.
    int status = ok ? 0 : 1;
    for (const FolderRun& r : runs) {
        if (r.status == 0) continue;
        if (r.status < 128) {
            status = 1;
            break;
        }
        if (status == 0) status = r.status;
    }
    if (status == 1 && ok)
        for (const FolderRun& r : runs)
            if (r.status != 0 && r.status < 128) {
                runlog_error((r.folder + " ended " + (r.status < 0 ? std::string("without a run") :
                              "with status " + std::to_string(r.status)) +
                              "; its console file or runlog says why").c_str());
                break;
            }
    return status;
}

int run_summarise() {
    for (const std::string& folder : command_line.summarise) {
        struct stat st {};
        const bool found = stat(folder.c_str(), &st) == 0;
        if (!found || !S_ISDIR(st.st_mode)) {
            printf("Error: cannot summarise %s: %s; nothing is written\n", folder.c_str(),
                   found ? "it is not a folder" : strerror(errno));
            return 1;
        }
    }
    lock_folder();
    runlog_begin();
    runlog_note("summary       of " + std::to_string(command_line.summarise.size()) + " folders");
    const int status = summarise_folders(command_line.summarise);
    runlog_end(status, true);
    unlock_folder();
    return status;
}
