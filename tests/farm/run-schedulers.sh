#!/usr/bin/env bash
# Runs the farm recipes of docs/farm.md on real schedulers on this machine and
# checks that every input is converted exactly once:
#   - docs/farm/slurm-array.sh as a job array on a one-node Slurm for localhost
#     (slurmctld, slurmd and munged started here, with a config made for the run),
#   - the GNU parallel recipe with --sshlogin against a real sshd on 127.0.0.1
#     (host and user keys made for the run).
# Needs root on Debian 12 or 13; installs slurmctld, slurmd, munge,
# openssh-server and parallel with apt-get when missing. Not part of ./test.sh.
# Usage: tests/farm/run-schedulers.sh [BIN_DIR]   (BIN_DIR: build/bin by default)
# Every daemon it starts is stopped and its temporary folder removed on exit.
# Exit status: 0 when every check passed, 1 when one failed.
set -euo pipefail

project=$(cd "$(dirname "$0")/../.." && pwd)
bin_dir=$(cd "${1:-$project/build/bin}" && pwd)
[[ -x $bin_dir/strella-cli ]] || { echo "no strella-cli in $bin_dir: build first (scripts/build.sh)" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "run as root: the Slurm and ssh daemons are started here" >&2; exit 1; }

log() { echo "== $*"; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# --- packages -----------------------------------------------------------
need=()
command -v slurmctld >/dev/null || need+=(slurmctld)
command -v slurmd >/dev/null || need+=(slurmd)
command -v sbatch >/dev/null || need+=(slurm-client)
command -v munged >/dev/null || need+=(munge)
[[ -x /usr/sbin/sshd ]] || need+=(openssh-server)
command -v ssh >/dev/null || need+=(openssh-client)
command -v parallel >/dev/null || need+=(parallel)
command -v jq >/dev/null || need+=(jq)
command -v ffmpeg >/dev/null || need+=(ffmpeg)
if ((${#need[@]})); then
  log "installing ${need[*]}"
  # The packages' own scripts would start their services (sshd on port 22,
  # munged, the Slurm daemons): keep them from doing so while installing.
  added_policy=
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
    added_policy=1
  fi
  rc=0
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; } || rc=$?
  [[ -n $added_policy ]] && rm -f /usr/sbin/policy-rc.d
  ((rc == 0)) || { echo "apt-get install ${need[*]} failed" >&2; exit 1; }
fi

# --- temporary folder and cleanup ---------------------------------------
tmp=$(mktemp -d /tmp/strella-farm.XXXXXX)
pids=()          # daemons started here, stopped in reverse order
made_run_sshd=
cleanup() {
  local rc=$?
  set +e
  if [[ -n ${SLURM_CONF:-} && -e $tmp/slurmctld.started ]]; then
    scancel --quiet --full --user=root 2>/dev/null
  fi
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    # A daemon gets ten seconds to end by itself, then it is killed.
    for _ in $(seq 100); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -9 "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  [[ -n $made_run_sshd ]] && rmdir /run/sshd 2>/dev/null
  rm -rf "$tmp"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A TCP port on 127.0.0.1 that nothing listens on.
free_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port"; return; fi
  done
  echo "no free port found" >&2; return 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND until it succeeds.
wait_for() {
  local seconds=$1 what=$2; shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if ((SECONDS >= deadline)); then echo "$what not ready after ${seconds}s" >&2; return 1; fi
    sleep 0.5
  done
}

# --- test media -----------------------------------------------------------
# Eight one-second clips, one with a space in its name; the work folder is
# what a user's shared folder would be.
make_inputs() {
  local dir=$1
  mkdir -p "$dir/in"
  local i
  for i in 1 2 3 4; do
    ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((200 * i)):duration=1" \
      "$dir/in/tone-$i.wav"
    ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc=size=160x120:rate=10:duration=1" \
      -f lavfi -i "sine=frequency=$((300 * i)):duration=1" -c:v mpeg4 -c:a aac -shortest \
      "$dir/in/clip-$i.mp4"
  done
  mv "$dir/in/tone-3.wav" "$dir/in/tone 3.wav"
}

# The report rows of every part in DIR/out, nothing when there are none.
reports() { cat "$1"/out/report-*.jsonl 2>/dev/null || true; }

# check_outputs DIR RUN: every input in DIR/in has exactly one output in DIR/out
# (an MP3 of its name that decodes to about one second), no partial is left,
# and the reports of all parts together hold one row per input, "Done".
check_outputs() {
  local dir=$1 run=$2 input base count status
  local inputs=("$dir"/in/*)
  for input in "${inputs[@]}"; do
    base=$(basename "${input%.*}")
    if [[ ! -s $dir/out/$base.mp3 ]]; then
      fail "$run: no output for ${input#"$dir"/}"
      continue
    fi
    local seconds
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$dir/out/$base.mp3" || echo 0)
    if ! awk -v s="$seconds" 'BEGIN { exit !(s > 0.9 && s < 1.2) }'; then
      fail "$run: out/$base.mp3 lasts ${seconds}s instead of 1s"
    fi
    # The report names the input as it was given (in/NAME) or by its full path.
    status=$(reports "$dir" |
      jq -r --arg in "${input#"$dir"/}" 'select(.input == $in or (.input | endswith("/" + $in))) | .status' | paste -sd,) || true
    count=$(awk -F, '{ print NF }' <<<"$status")
    if [[ $count != 1 || $status != Done ]]; then
      fail "$run: the reports hold ${input#"$dir"/} $count times (status: ${status:-none}) instead of once Done"
    fi
  done
  local outputs
  outputs=$(find "$dir/out" -name '*.mp3' | wc -l)
  [[ $outputs == "${#inputs[@]}" ]] || fail "$run: $outputs outputs for ${#inputs[@]} inputs"
  local rows
  rows=$(reports "$dir" | wc -l)
  [[ $rows == "${#inputs[@]}" ]] || fail "$run: $rows report rows for ${#inputs[@]} inputs"
  local hidden
  hidden=$(find "$dir/out" -name '.*' | head -3)
  [[ -z $hidden ]] || fail "$run: partial files left: $hidden"
  log "$run: ${#inputs[@]} inputs, $outputs outputs, $rows report rows"
}

export PATH="$bin_dir:$PATH"

# --- Slurm ----------------------------------------------------------------
log "starting munged and a one-node Slurm in $tmp"
mkdir -p "$tmp/munge" "$tmp/slurm/state" "$tmp/slurm/spool"
chmod 755 "$tmp" "$tmp/munge"
dd if=/dev/urandom bs=1 count=1024 of="$tmp/munge/munge.key" status=none
chmod 400 "$tmp/munge/munge.key"
munge_socket=$tmp/munge/munge.socket
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$munge_socket" \
  --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/munge/munged.log" \
  --seed-file="$tmp/munge/munged.seed" >"$tmp/munge/munged.out" 2>&1 &
pids+=($!)
wait_for 20 munged munge --socket="$munge_socket" --no-input || { cat "$tmp/munge/munged.out"; exit 1; }

# The node as slurmd sees it: its real processors and memory.
node_line=$(slurmd -C | head -1)
cpus=$(sed -n 's/.*CPUs=\([0-9]*\).*/\1/p' <<<"$node_line")
memory=$(sed -n 's/.*RealMemory=\([0-9]*\).*/\1/p' <<<"$node_line")
[[ -n $cpus && -n $memory ]] || { echo "slurmd -C printed no processors or memory: $node_line" >&2; exit 1; }
node_hw=${node_line#NodeName=* }
ctld_port=$(free_port)
slurmd_port=$(free_port)
while [[ $slurmd_port == "$ctld_port" ]]; do slurmd_port=$(free_port); done
export SLURM_CONF=$tmp/slurm/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=strella-farm-test
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge_socket
StateSaveLocation=$tmp/slurm/state
SlurmdSpoolDir=$tmp/slurm/spool
SlurmctldPidFile=$tmp/slurm/slurmctld.pid
SlurmdPidFile=$tmp/slurm/slurmd.pid
SlurmctldLogFile=$tmp/slurm/slurmctld.log
SlurmdLogFile=$tmp/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 $node_hw State=UNKNOWN
PartitionName=farm Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -i -f "$SLURM_CONF" >"$tmp/slurm/slurmctld.out" 2>&1 &
pids+=($!)
touch "$tmp/slurmctld.started"
slurmd -D -N localhost -f "$SLURM_CONF" >"$tmp/slurm/slurmd.out" 2>&1 &
pids+=($!)
node_idle() { [[ $(sinfo --noheader --nodes=localhost --format=%T 2>/dev/null) == idle ]]; }
if ! wait_for 60 "the Slurm node" node_idle; then
  sinfo || true
  tail -n 20 "$tmp/slurm/slurmctld.log" "$tmp/slurm/slurmd.log" "$tmp/slurm"/*.out 2>/dev/null || true
  exit 1
fi
sinfo

work=$tmp/slurm-work
make_inputs "$work"
# No out/ yet: the recipe makes it, as a user would submit it.
# Four parts of the eight files. One processor per task on a one-processor node.
cpus_per_task=$((cpus < 2 ? cpus : 2))
log "sbatch --array=1-4 --wait docs/farm/slurm-array.sh"
slurm_rc=0
(cd "$work" && timeout 600 sbatch --array=1-4 --cpus-per-task="$cpus_per_task" --mem=512M --wait \
  "$project/docs/farm/slurm-array.sh") || slurm_rc=$?
((slurm_rc == 0)) || fail "slurm: sbatch --wait ended with status $slurm_rc"
for f in "$work"/slurm-*.log; do
  [[ -e $f ]] || { fail "slurm: no task logs"; break; }
  echo "-- ${f#"$work"/}"; cat "$f"
done
check_outputs "$work" slurm

# A failed task is run again alone: its outputs are removed (as if its node
# had gone away) and part 3 of 4 is submitted by itself.
part3=$(jq -r '.output' "$work/out/report-3.jsonl" 2>/dev/null) || true
[[ -n $part3 ]] || fail "slurm: part 3 converted nothing"
# The report names outputs as the command gave them, relative to the work folder.
while IFS= read -r f; do [[ -n $f ]] && (cd "$work" && rm -f -- "$f"); done <<<"$part3"
rm -f "$work/out/report-3.jsonl"
log "sbatch --array=3 --export=ALL,STRELLA_PARTS=4 --wait docs/farm/slurm-array.sh (part 3 again)"
slurm_rc=0
(cd "$work" && timeout 600 sbatch --array=3 --export=ALL,STRELLA_PARTS=4 --cpus-per-task="$cpus_per_task" \
  --mem=512M --wait "$project/docs/farm/slurm-array.sh") || slurm_rc=$?
((slurm_rc == 0)) || { fail "slurm: the rerun of part 3 ended with status $slurm_rc"; cat "$work"/slurm-*_3.log || true; }
check_outputs "$work" "slurm, part 3 again"

# --- sshd and GNU parallel --------------------------------------------------
log "starting sshd on 127.0.0.1"
ssh_dir=$tmp/ssh
mkdir -p "$ssh_dir"
chmod 700 "$ssh_dir"
ssh-keygen -q -t ed25519 -N '' -C strella-farm-host -f "$ssh_dir/host_key"
ssh-keygen -q -t ed25519 -N '' -C strella-farm-user -f "$ssh_dir/user_key"
ssh_port=$(free_port)
# The login finds strella-cli on its PATH, as on a host where it is installed.
echo "environment=\"PATH=$bin_dir:/usr/local/bin:/usr/bin:/bin\" $(cat "$ssh_dir/user_key.pub")" \
  >"$ssh_dir/authorized_keys"
chmod 600 "$ssh_dir/authorized_keys"
cat >"$ssh_dir/sshd_config" <<EOF
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $ssh_dir/host_key
PidFile $ssh_dir/sshd.pid
AuthorizedKeysFile $ssh_dir/authorized_keys
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
# The keys live under /tmp, which is writable by all.
StrictModes no
PermitUserEnvironment PATH
MaxStartups 20
EOF
if [[ ! -d /run/sshd ]]; then mkdir -p /run/sshd && chmod 755 /run/sshd && made_run_sshd=1; fi
/usr/sbin/sshd -D -e -f "$ssh_dir/sshd_config" 2>"$ssh_dir/sshd.log" &
pids+=($!)
# Two host names for the one sshd, as the recipe's host1 and host2.
echo "[127.0.0.1]:$ssh_port $(cut -d' ' -f1,2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
cat >"$ssh_dir/config" <<EOF
Host host1 host2
  HostName 127.0.0.1
  Port $ssh_port
  User root
  IdentityFile $ssh_dir/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $ssh_dir/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
EOF
export PARALLEL_SSH="ssh -F $ssh_dir/config"
ssh_cmd=(ssh -F "$ssh_dir/config")
if ! wait_for 20 sshd "${ssh_cmd[@]}" host1 true; then
  cat "$ssh_dir/sshd.log"
  exit 1
fi
remote_cli=$("${ssh_cmd[@]}" host1 'command -v strella-cli' || true)
[[ $remote_cli == "$bin_dir/strella-cli" ]] || fail "ssh: the login finds strella-cli at '$remote_cli'"

shared=$tmp/shared/media
make_inputs "$shared"
# The recipe of docs/farm.md, with the shared folder and hosts of this run.
run_parallel() {
  (cd "$shared" && mkdir -p out && timeout 600 \
    parallel --will-cite --sshlogin 2/host1,2/host2,1/: --workdir "$shared" --joblog out/parts.log \
      strella-cli -p 25 -o out --skip-existing --shard {}/8 --report out/report-{}.jsonl 'in/*' ::: $(seq 8))
}
log "parallel --sshlogin 2/host1,2/host2,1/: ... --shard {}/8"
parallel_rc=0
run_parallel || parallel_rc=$?
((parallel_rc == 0)) || { fail "parallel: $parallel_rc parts failed"; tail -n 20 "$ssh_dir/sshd.log"; }
check_outputs "$shared" "parallel over ssh"
# The job log's second column is the host of each part.
remote_parts=$(awk 'NR > 1 && $2 ~ /^host[12]$/' "$shared/out/parts.log" | wc -l)
((remote_parts > 0)) || fail "parallel: no part ran over ssh"
log "$remote_parts of 8 parts ran over ssh; sshd accepted $(grep -c 'Accepted publickey' "$ssh_dir/sshd.log") logins"
cut -f2,7,9- "$shared/out/parts.log"

log "the same command again: every file is skipped"
parallel_rc=0
run_parallel >/dev/null || parallel_rc=$?
((parallel_rc == 0)) || fail "parallel, second run: $parallel_rc parts failed"
skipped=$(reports "$shared" | jq -c 'select(.status == "Skipped")' | wc -l) || true
input_count=$(find "$shared/in" -type f | wc -l)
[[ $skipped == "$input_count" ]] || fail "parallel, second run: $skipped of $input_count files skipped"

if ((failures)); then
  echo "$failures checks failed" >&2
  exit 1
fi
log "every check passed"
