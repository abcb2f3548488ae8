#!/bin/bash
# One Slurm array task per part of the file list; every task runs the same
# command and takes its own part. Submit from the shared folder that holds in/:
#   sbatch docs/farm/slurm-array.sh
# Each task's log is slurm-JOB_TASK.log in that folder: Slurm opens it before
# the task starts, so it cannot be in out/, which the tasks make.
# The number of parts is the size of the array (8 here; `sbatch --array=1-4`
# makes 4). Parts that failed are run again alone with the number of parts
# they were made with:
#   sbatch --array=3,5 --export=ALL,STRELLA_PARTS=8 docs/farm/slurm-array.sh
#SBATCH --job-name=strella
#SBATCH --array=1-8
#SBATCH --cpus-per-task=2
#SBATCH --output=slurm-%A_%a.log
set -euo pipefail
: "${SLURM_ARRAY_TASK_ID:?submit this script with sbatch as a job array}"
parts=${STRELLA_PARTS:-$SLURM_ARRAY_TASK_COUNT}
if ((SLURM_ARRAY_TASK_ID > parts)); then
  echo "task $SLURM_ARRAY_TASK_ID of an array of $parts: to run some parts again alone," \
    "give the number of parts they were made with: sbatch --array=$SLURM_ARRAY_TASK_ID" \
    "--export=ALL,STRELLA_PARTS=N ..." >&2
  exit 2
fi
mkdir -p out
strella-cli -j "${SLURM_CPUS_PER_TASK:-1}" -p 25 -o out --skip-existing \
  --shard "$SLURM_ARRAY_TASK_ID/$parts" \
  --report "out/report-$SLURM_ARRAY_TASK_ID.jsonl" in/*
