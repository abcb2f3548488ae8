#!/bin/bash
# One Slurm array task per part of the file list; every task runs the same
# command and takes its own part. Submit from the shared folder that holds in/:
#   mkdir -p out && sbatch docs/farm/slurm-array.sh
#SBATCH --job-name=strella
#SBATCH --array=1-8
#SBATCH --cpus-per-task=2
#SBATCH --output=out/slurm-%A_%a.log
set -euo pipefail
strella-cli -j "${SLURM_CPUS_PER_TASK:-1}" -p 25 -o out --skip-existing \
  --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" \
  --report "out/report-$SLURM_ARRAY_TASK_ID.jsonl" in/*
