// Gathering the folders of replicate and bootstrap searches. A folder tells its own story:
// its settings give the seeds, its runlog (or runlog.part, after an error) how the run
// ended and whether it was a bootstrap replicate, its besttree and treefile the best lnL and
// tree. Nothing depends on the order in which the runs finished or on where they ran.
#include "runs/summary.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <map>

#include <sys/stat.h>

#include "base/error_record.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "input/settings.hpp"
#include "output/runlog.hpp"
#include "runs/dated_intervals.hpp"
#include "runs/splits.hpp"

namespace {

struct FolderRun {
    std::string folder;
    bool boot = false;
    std::string seed1 = "?", seed2 = "?";
    std::string model;  // the settings line model_spec, when the folder has one
    int status = -1;  // exit status; -1: the folder shows no run
    std::string why;  // why a run that is not complete cannot be used
    double lnL = 0;
    bool has_tree = false;
    NewickTree tree;
    std::string tree_line;  // the best tree with lengths, as the run wrote it
    std::vector<Split> splits;
};

const char* state_name(int status) {
    return status < 0 ? "not run" : status == 0 ? "complete" : status >= 128 ? "interrupted" : "failed";
}

// The model a settings text names on its line model_spec, "" when it has none.
std::string model_of_settings(const std::string& text) {
    const std::string lead = std::string("\n") + kModelSpecLabel;
    const size_t at = text.find(lead);
    if (at == std::string::npos) return std::string();
    char value[256];
    return sscanf(text.c_str() + at + lead.size(), "%255s", value) == 1 ? value : std::string();
}

// " under GTR+G4" when the runs were of a named model, else "".
std::string model_words(const std::vector<const FolderRun*>& runs) {
    for (const FolderRun* r : runs)
        if (!r->model.empty()) return " under " + r->model;
    return std::string();
}

// The rest of the line of `text` that starts with `label`, or "" (found false).
std::string record_line(const std::string& text, const char* label, bool* found = nullptr) {
    const std::string lead = std::string("\n") + label;
    const size_t at = text.find(lead);
    if (found != nullptr) *found = at != std::string::npos;
    if (at == std::string::npos) return std::string();
    const size_t start = at + lead.size();
    return text.substr(start, text.find('\n', start) - start);
}

void set_failed(FolderRun& r, const std::string& why) {
    r.status = r.status > 0 && r.status < 128 ? r.status : 1;
    r.why = why;
}

// The record's exit status, or -1 when it has none (the run was killed or still runs).
int record_status(const std::string& log) {
    bool found = false;
    const std::string line = record_line(log, "exit status ", &found);
    return found ? atoi(line.c_str()) : -1;
}

// Each input the run read must still be the file beside the record: a folder whose infile
// or settings were replaced since holds reports of another run.
bool inputs_unchanged(FolderRun& r, const std::string& log) {
    const std::string line = record_line(log, kRunlogChecksumsLabel);
    size_t at = 0;
    while (at < line.size() && line[at] != ' ' && line[at] != '(') {
        const size_t end = line.find(' ', at);
        const std::string entry = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? line.size() : end + 1;
        const size_t eq = entry.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = entry.substr(0, eq);
        std::string text;
        char now[24] = "";
        if (read_text_file(r.folder + "/" + name, text)) {
            ready_input_text(text);
            snprintf(now, sizeof now, "%016llx", static_cast<unsigned long long>(text_checksum(text)));
        }
        if (entry.compare(eq + 1, std::string::npos, now) != 0) {
            set_failed(r, "its " + name + " is not the file its run read (it changed after the run)");
            return false;
        }
    }
    return true;
}

// What the folder's run record says: whether its reports are those of a run of this program
// on the inputs beside them, and how that run ended. A runlog.part is the record of a run
// newer than any runlog there: that run did not write its reports.
bool read_record(FolderRun& r) {
    std::string log;
    const bool part = read_text_file(r.folder + "/runlog.part", log);
    if (!part && !read_text_file(r.folder + "/runlog", log)) {
        // No record at all: the folder's name is all there is to go by.
        const size_t slash = r.folder.rfind('/');
        r.boot = r.folder.compare(slash == std::string::npos ? 0 : slash + 1, 5, "boot-") == 0;
        r.why = "the folder holds no run record (runlog)";
        return false;
    }
    const std::string command = record_line(log, "command       ");
    // A bootstrap replicate's command holds the word --resample (with --resume and the
    // thread count beside it, in any order).
    r.boot = false;
    for (size_t at = command.find(" --resample"); at != std::string::npos && !r.boot;
         at = command.find(" --resample", at + 1))
        r.boot = at + 11 == command.size() || command[at + 11] == ' ';
    r.status = record_status(log);
    // The record holds the error's message where the run could keep it; otherwise the
    // message went to standard output, which the replicate runner keeps as `console`.
    const std::string error = record_line(log, "error         ");
    const std::string because = error.empty() || error.compare(0, 11, "its message") == 0
                                    ? std::string(" (its console file says why)")
                                    : ": " + error;
    const std::string of = log.compare(0, 14, "Run record of ") == 0 ? log.substr(14, log.find('\n') - 14) : "";
    if (of != program.name) {
        set_failed(r, "its run record is of " + (of.empty() ? std::string("no program") : of) +
                          ", not of " + program.name);
    } else if (part && r.status < 0) {
        set_failed(r, "its last run did not end: it was killed (runlog.part has no end)");
    } else if (part) {
        set_failed(r, "its last run ended with status " + std::to_string(r.status) +
                          " and wrote no reports" + because);
    } else if (r.status < 0) {
        set_failed(r, "its runlog has no exit status");
    } else if (r.status > 0 && r.status < 128) {
        set_failed(r, "its run ended with status " + std::to_string(r.status) + because);
    } else if (record_line(log, "reports       ").compare(0, 7, "written") != 0) {
        set_failed(r, "its runlog says the reports were not written");
    } else {
        return inputs_unchanged(r, log);
    }
    return false;
}

// A finite number at the start of `text`, or false.
bool read_finite(const char* text, double& value) {
    char* end = nullptr;
    value = strtod(text, &end);
    return end != text && std::isfinite(value);
}

void read_folder(FolderRun& r) {
    std::string text;
    if (read_text_file(r.folder + "/settings", text)) {
        r.model = model_of_settings(text);
        r.seed1 = settings_line_value(text, 21);
        r.seed2 = settings_line_value(text, 22);
    }
    if (!read_record(r)) return;
    std::string besttree, treefile;
    if (!read_text_file(r.folder + "/besttree", besttree) || !read_text_file(r.folder + "/treefile", treefile))
        return set_failed(r, "its besttree or treefile cannot be read");
    const char* label = program.unrooted_newick ? "ln L at first hit:" : "Max ln L for tree:";
    const size_t at = besttree.find(label);
    if (at == std::string::npos || !read_finite(besttree.c_str() + at + strlen(label), r.lnL))
        return set_failed(r, std::string("its besttree gives no finite value after '") + label + "'");
    const char* heading = "The best tree and branch lengths found by the algorithm:";
    size_t t = treefile.find(heading);
    if (t != std::string::npos) t = treefile.find('(', t);
    if (t == std::string::npos) return set_failed(r, "its treefile holds no best tree");
    r.tree_line = treefile.substr(t, treefile.find(';', t) - t + 1);
    std::string why;
    r.has_tree = read_newick(r.tree_line, r.tree, why);
    if (!r.has_tree) set_failed(r, "its treefile's best tree cannot be read: " + why);
}

// A row of the tables for a run without a usable tree: its state, and why where it failed.
std::string row_without_tree(const FolderRun& r) {
    char line[512];
    snprintf(line, sizeof line, "%-10s %-11s %-11s %s", r.folder.c_str(), r.seed1.c_str(),
             r.seed2.c_str(), state_name(r.status));
    std::string row = line;
    if (r.status > 0 && r.status < 128 && !r.why.empty()) row += ": " + r.why;
    return row + "\n";
}

std::string replicates_text(const std::vector<const FolderRun*>& reps, const FolderRun* top) {
    std::string s;
    char line[512];
    snprintf(line, sizeof line, "Replicate searches of %s%s: %zu requested\n\n", program.name,
             model_words(reps).c_str(), reps.size());
    s += line;
    s += "replicate  seed1       seed2       status        best lnL  splits from the best tree\n";
    int found = 0, finished = 0;
    for (const FolderRun* r : reps) {
        if (!r->has_tree) {
            s += row_without_tree(*r);
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

// The branch support of the best search (its supporttree, from --alrt or --abayes): the
// labels it names in its first line, and each split's label; empty when it has none.
struct BestSupport {
    std::string what;
    std::map<Split, std::string> of_split;
};

BestSupport best_support(const FolderRun* top, const std::vector<std::string>& names) {
    BestSupport b;
    std::string text;
    if (top == nullptr || !read_text_file(top->folder + "/supporttree", text) || text.rfind("[labels: ", 0) != 0)
        return b;
    const size_t end = text.find("]\n");
    NewickTree t;
    std::string why;
    if (end == std::string::npos || !read_newick(text.substr(end + 2), t, why)) return b;
    std::vector<std::string> sorted = t.leaves;
    std::sort(sorted.begin(), sorted.end());
    if (sorted != names) return b;
    std::vector<Split> of_node;
    tree_splits(t, names, !program.unrooted_newick, &of_node);
    for (size_t v = 0; v < of_node.size(); ++v)
        if (!of_node[v].empty() && !t.nodes[v].name.empty()) b.of_split[of_node[v]] = t.nodes[v].name;
    b.what = text.substr(9, end - 9);
    return b;
}

BootstrapFiles bootstrap_files(const std::vector<const FolderRun*>& boots, const FolderRun* top,
                               const std::vector<std::string>& names, const BestSupport& support) {
    BootstrapFiles out;
    const bool rooted = !program.unrooted_newick;
    char line[512];
    std::vector<const FolderRun*> used;
    for (const FolderRun* b : boots)
        if (b->status == 0 && b->has_tree) used.push_back(b);
    const int count = static_cast<int>(used.size());
    std::string& s = out.bootstrap;
    snprintf(line, sizeof line, "Bootstrap of %s%s: %zu replicates requested; the support below is "
             "that of the %d that completed", program.name, model_words(boots).c_str(), boots.size(), count);
    s += line;
    if (count < static_cast<int>(boots.size()))
        s += " (" + std::to_string(boots.size() - used.size()) + " did not: interrupted, failed or not run)";
    s += "\n\nreplicate  seed1       seed2       status        best lnL  best tree\n";
    for (const FolderRun* b : boots) {
        if (!b->has_tree) {
            s += row_without_tree(*b);
            continue;
        }
        snprintf(line, sizeof line, "%-10s %-11s %-11s %-11s %12.6f  ", b->folder.c_str(),
                 b->seed1.c_str(), b->seed2.c_str(), state_name(b->status), b->lnL);
        s += line + b->tree_line + "\n";
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
    // With the best search's own support, every label gives it first, then the bootstrap's,
    // as the file's first line says.
    if (!support.what.empty()) {
        for (size_t v = 0; v < of_node.size(); ++v) {
            if (of_node[v].empty()) continue;
            const auto it = support.of_split.find(of_node[v]);
            labels[v] = (it != support.of_split.end() ? it->second : std::string("-")) + "/" + labels[v];
        }
        out.supporttree = "[labels: " + support.what + "/bootstrap (%)]\n" +
                          write_newick_labelled(top->tree, labels, false) + "\n";
    }

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

int summarise_folders(const std::vector<std::string>& folders, const std::vector<int>& exit_statuses) {
    std::vector<FolderRun> runs(folders.size());
    for (size_t k = 0; k < folders.size(); ++k) {
        FolderRun& r = runs[k];
        r.folder = folders[k];
        while (r.folder.size() > 1 && r.folder.back() == '/') r.folder.pop_back();
        read_folder(r);
        // A run that failed before it could start its record (it could not lock its folder,
        // say) leaves the folder as an earlier run left it.
        const int exited = k < exit_statuses.size() ? exit_statuses[k] : -1;
        if (r.status == 0 && exited > 0) {
            r.has_tree = false;
            r.status = exited;
            set_failed(r, "it ended with status " + std::to_string(exited) +
                              " before it wrote its run record; its console file says why");
        }
        if (r.status > 0 && r.status < 128) printf("  %s failed: %s\n", r.folder.c_str(), r.why.c_str());
    }
    // Every tree must be over the same taxa as the first one.
    std::vector<std::string> names;
    for (FolderRun& r : runs) {
        if (!r.has_tree) continue;
        std::vector<std::string> sorted = r.tree.leaves;
        std::sort(sorted.begin(), sorted.end());
        if (names.empty()) names = sorted;
        if (sorted != names) {
            r.has_tree = false;
            set_failed(r, "its best tree is not over the taxa of the other folders");
            printf("  %s failed: %s\n", r.folder.c_str(), r.why.c_str());
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
    const BestSupport support = best_support(top, names);
    if (!boots.empty()) {
        bf = bootstrap_files(boots, top, names, support);
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
    // A dated tree comes with its reports, with the bootstrap's intervals on its ages.
    if (top != nullptr && program.has_lin_info) {
        std::string text;
        if (read_text_file(top->folder + "/dated.tre", text)) {
            ok = write_text_file("dated.tre", text) && ok;
            std::vector<std::string> done;
            for (const FolderRun* b : boots)
                if (b->status == 0 && b->has_tree) done.push_back(b->folder);
            if (!done.empty()) ok = write_dated_intervals(top->folder, done, names) && ok;
        }
    }
    // The best search's branch support comes with its reports (its supporttree unless the
    // bootstrap's, which carries the same values, replaced it).
    if (!support.what.empty()) {
        for (const char* file : {"support", "supporttree"}) {
            if (std::strcmp(file, "supporttree") == 0 && !bf.supporttree.empty()) continue;
            std::string text;
            ok = read_text_file(top->folder + "/" + file, text) && write_text_file(file, text) && ok;
        }
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
                record_error((r.folder + (r.status < 0 ? " was not run: " : " failed: ") + r.why).c_str());
                break;
            }
    return status;
}

bool summary_folders_usable(const std::vector<std::string>& folders) {
    std::vector<struct stat> seen(folders.size());
    for (size_t k = 0; k < folders.size(); ++k) {
        struct stat& st = seen[k];
        const bool found = stat(folders[k].c_str(), &st) == 0;
        if (!found || !S_ISDIR(st.st_mode)) {
            printf("Error: cannot summarise %s: %s; nothing is written\n", folders[k].c_str(),
                   found ? "it is not a folder" : strerror(errno));
            return false;
        }
        // One run counted twice would weigh twice in the support and the topology counts.
        for (size_t j = 0; j < k; ++j)
            if (seen[j].st_dev == st.st_dev && seen[j].st_ino == st.st_ino) {
                printf("Error: cannot summarise %s: it is the folder %s, named again; nothing is "
                       "written\n", folders[k].c_str(), folders[j].c_str());
                return false;
            }
    }
    return true;
}

int run_summarise(const std::vector<std::string>& folders) {
    runlog_begin();
    runlog_note("summary       of " + std::to_string(folders.size()) + " folders");
    const int status = summarise_folders(folders);
    runlog_end(status, true);
    return status;
}
