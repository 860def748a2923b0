#!/bin/bash
# The workflow on a real Slurm cluster: a one-node cluster on this machine (slurmctld and
# slurmd with 2 CPUs, munge for their authentication), the workflow run through Snakemake's
# Slurm support, and its summaries compared byte for byte with those of one local run of
#   <program> --replicates R --bootstrap B --jobs 2
# for every gene. Needs root (it installs slurm-wlm, munge and snakemake from Debian when
# they are missing); stops the daemons it started.
#
#   tests/cluster/slurm.sh [BUILD_DIR]        (default: build)
# With TIMING=1 it also times 8 replicate searches of the vertebrates alignment through the
# cluster against `freeml --replicates 8 --jobs 2`.
set -u
SRC=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$(cd "${1:-$SRC/build}" && pwd)
[ -x "$BIN/freeml" ] && [ -x "$BIN/clockml" ] || { echo "no programs in $BIN"; exit 1; }
[ "$(id -u)" = 0 ] || { echo "slurm.sh: needs root (it starts the cluster's daemons)"; exit 1; }
if ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null || ! command -v snakemake >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q slurm-wlm munge snakemake >/dev/null ||
        { echo "slurm.sh: cannot install slurm-wlm, munge and snakemake"; exit 1; }
fi

WORK=$(mktemp -d /tmp/zelvo-slurm.XXXXXX)
chmod 755 "$WORK"
HOST=$(hostname -s)
started_munge=0
# Ends a daemon from its pid file: SIGTERM, then SIGKILL if it is still there after 5 s.
stop_daemon() {  # pid-file
    [ -s "$1" ] || return 0
    local pid
    pid=$(cat "$1")
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 25); do
        kill -0 "$pid" 2>/dev/null && [ "$(ps -o stat= -p "$pid")" != Z ] || return 0
        sleep 0.2
    done
    kill -9 "$pid" 2>/dev/null
}
stop_all() {
    stop_daemon "$WORK/slurmd.pid"
    stop_daemon "$WORK/slurmctld.pid"
    if [ "$started_munge" = 1 ]; then
        stop_daemon "$WORK/munged.pid"
        rm -f /run/munge/zelvo-test.pid
    fi
    rm -rf "$WORK"
}
trap stop_all EXIT
trap 'exit 1' INT TERM  # the daemons are stopped on these too
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# munge: a key of its own when there is none, and the daemon unless one runs already.
if ! pgrep -x munged >/dev/null; then
    [ -s /etc/munge/munge.key ] || mungekey --create --keyfile=/etc/munge/munge.key
    chown munge:munge /etc/munge/munge.key && chmod 400 /etc/munge/munge.key
    mkdir -p /run/munge /var/lib/munge /var/log/munge && chown munge:munge /run/munge /var/lib/munge /var/log/munge
    runuser -u munge -- /usr/sbin/munged --pid-file=/run/munge/zelvo-test.pid || { echo "cannot start munged"; exit 1; }
    for _ in $(seq 20); do [ -s /run/munge/zelvo-test.pid ] && break; sleep 0.2; done
    cp /run/munge/zelvo-test.pid "$WORK/munged.pid"
    started_munge=1
fi

mkdir -p "$WORK/state" "$WORK/spool"
cat >"$WORK/slurm.conf" <<CONF
ClusterName=zelvo-test
SlurmctldHost=$HOST
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
StateSaveLocation=$WORK/state
SlurmdSpoolDir=$WORK/spool
SlurmctldPidFile=$WORK/slurmctld.pid
SlurmdPidFile=$WORK/slurmd.pid
SlurmctldLogFile=$WORK/slurmctld.log
SlurmdLogFile=$WORK/slurmd.log
SlurmctldPort=6917
SlurmdPort=6918
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SlurmctldDebug=info
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
MinJobAge=600
NodeName=$HOST CPUs=2 RealMemory=4000 State=UNKNOWN
PartitionName=local Nodes=$HOST Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$WORK/slurm.conf
export USER=${USER:-$(id -un)}  # Snakemake's Slurm support looks the user up by it
slurmctld -f "$SLURM_CONF" || { echo "cannot start slurmctld"; cat "$WORK/slurmctld.log"; exit 1; }
slurmd -f "$SLURM_CONF" || { echo "cannot start slurmd"; cat "$WORK/slurmd.log"; exit 1; }
for _ in $(seq 60); do
    [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && break
    sleep 0.5
done
[ "$(sinfo -h -o %t 2>/dev/null)" = idle ] || { echo "the node did not come up"; tail -n 5 "$WORK"/slurm*.log; exit 1; }
echo "cluster up: $(sinfo -h -o '%P %D nodes, %c CPUs, %t')"

# Runs the workflow through Slurm in $1 with the config lines that follow.
slurm_workflow() {  # dir config-lines...
    local dir=$1
    shift
    mkdir -p "$dir"
    cp "$SRC/workflow/Snakefile" "$dir/"
    printf '%s\n' "bin: $BIN" "out: results" "$@" >"$dir/config.yaml"
    # Snakemake asks Slurm for the state of its jobs once every 30 s unless told otherwise,
    # which suits a busy cluster; here once a second keeps the short jobs moving.
    (cd "$dir" && timeout 600 snakemake --slurm --jobs 8 --max-status-checks-per-second 1 --configfile config.yaml \
        --default-resources slurm_partition=local runtime=30 mem_mb=200 --latency-wait 10 -q >snakemake.out 2>&1)
}

# Two genes with replicates and bootstrap replicates, against local runs.
R=2 B=4
slurm_workflow "$WORK/wf" "program: freeml" "settings: $SRC/examples/brown_free/settings" \
    "replicates: $R" "bootstrap: $B" "genes:" "  brown: $SRC/examples/brown_free/infile" \
    "  dna: $SRC/examples/dna_free/infile" || { fail "the workflow failed"; tail -20 "$WORK/wf/snakemake.out"; exit 1; }
jobs=$(ls "$WORK"/wf/.snakemake/slurm_logs/*/ 2>/dev/null | grep -c '\.log$')
echo "the workflow ran $jobs jobs through Slurm"
[ "$jobs" -ge $((2 * (R + B))) ] || fail "only $jobs Slurm jobs ran"
for gene in brown dna; do
    local_dir=$WORK/local-$gene
    mkdir -p "$local_dir"
    cp "$SRC/examples/brown_free/settings" "$local_dir/"
    cp "$SRC/examples/${gene}_free/infile" "$local_dir/"
    (cd "$local_dir" && "$BIN/freeml" --replicates $R --bootstrap $B --jobs 2 >/dev/null) || fail "$gene: the local run failed"
    for f in replicates bootstrap supporttree consensus.tre besttree treefile paupfile.nex best.tre; do
        cmp -s "$WORK/wf/results/$gene/$f" "$local_dir/$f" || fail "$gene: $f differs from the local run's"
    done
done
[ "$failures" = 0 ] && echo "ok: the summaries through Slurm equal those of the local runs"

if [ "${TIMING:-0}" = 1 ]; then
    t0=$(date +%s.%N)
    slurm_workflow "$WORK/timing" "program: freeml" "settings: $SRC/examples/vertebrates_free_thorough/settings" \
        "replicates: 8" "bootstrap: 0" "genes:" "  vertebrates: $SRC/examples/vertebrates_free_thorough/infile" ||
        fail "the timing workflow failed"
    t1=$(date +%s.%N)
    mkdir -p "$WORK/timing-local"
    cp "$SRC/examples/vertebrates_free_thorough/"{infile,settings} "$WORK/timing-local/"
    (cd "$WORK/timing-local" && "$BIN/freeml" --replicates 8 --jobs 2 >/dev/null)
    t2=$(date +%s.%N)
    cmp -s "$WORK/timing/results/vertebrates/replicates" "$WORK/timing-local/replicates" || fail "timing: the summaries differ"
    awk -v a="$t0" -v b="$t1" -v c="$t2" 'BEGIN { printf "8 replicates, vertebrates: Slurm workflow %.1f s, --replicates 8 --jobs 2 %.1f s, ratio %.2f\n", b - a, c - b, (b - a) / (c - b) }'
fi
[ "$failures" = 0 ]
